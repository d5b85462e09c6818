#include "ui/page_drag.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace pagelume::ui {

QStringList localPaths(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.push_back(url.toLocalFile());
    return paths;
}

PageDragKind pageDragKind(const QObject* view, const QObject* source, const QMimeData* mime) {
    if (source == view)
        return PageDragKind::Rows;
    if (!source && !localPaths(mime).isEmpty())
        return PageDragKind::Files;
    return PageDragKind::Other;
}

bool acceptPageDrag(QDropEvent* event, PageDragKind kind, bool entering) {
    if (kind == PageDragKind::Files) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else if (!entering || event->source()) {
        event->acceptProposedAction();
    } else {
        event->ignore();  // nothing here that could become a page
        return false;
    }
    return true;
}

}  // namespace pagelume::ui
