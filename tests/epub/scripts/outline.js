// Prints a book's contents as mupdf's reader shows them: each entry's title
// and the spine position it opens, indented by its depth.
var doc = new Document(scriptArgs[0]);
function show(items, indent) {
    for (var i = 0; i < items.length; ++i) {
        print(indent + items[i].title + " @" + doc.resolveLink(items[i].uri).chapter);
        if (items[i].down)
            show(items[i].down, indent + "  ");
    }
}
show(doc.loadOutline() || [], "");
