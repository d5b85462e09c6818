"""Prints what an independent XML parser (python's xml.dom.minidom, with
namespace processing) reads from a file: one line per element, then one per
attribute, tab separated, values with backslash, CR, LF and TAB escaped.
  E <name> <namespace> <text of its own text children>
  A <name> <namespace> <value>
A file that does not parse ends with the parser's message and exit code 1."""
import sys
import xml.dom.minidom


def esc(s):
    return (s.replace('\\', '\\\\').replace('\r', '\\r').replace('\n', '\\n')
            .replace('\t', '\\t'))


def walk(element, out):
    text = ''.join(c.data for c in element.childNodes
                   if c.nodeType in (c.TEXT_NODE, c.CDATA_SECTION_NODE))
    out.append('\t'.join(['E', element.tagName, element.namespaceURI or '', esc(text)]))
    for i in range(element.attributes.length):
        a = element.attributes.item(i)
        out.append('\t'.join(['A', a.name, a.namespaceURI or '', esc(a.value)]))
    for c in element.childNodes:
        if c.nodeType == c.ELEMENT_NODE:
            walk(c, out)


try:
    doc = xml.dom.minidom.parse(sys.argv[1])
except Exception as e:  # the message is the test's failure text
    print(e)
    sys.exit(1)
lines = []
walk(doc.documentElement, lines)
sys.stdout.buffer.write(('\n'.join(lines) + '\n').encode('utf-8'))
