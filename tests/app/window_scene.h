#pragma once

// The window as the pixel test compares it: a few pages in the list, the
// book's fields filled in, the first page selected, never shown (so no
// blinking text cursor and no pointer over a button), drawn offscreen.
// Written against the window's oldest interface, so that it builds on the
// window as it was before it could grow as well as on today's.
#include <QImage>
#include <QPixmap>

#include "app/Unit1.h"
#include "ui/pagelist.h"

namespace pagelume::test {

inline QImage drawWindowScene(app::TForm1& form) {
    for (const char* path : {"/pages/lighthouse-01.jpg", "/pages/lighthouse-02.png",
                             "/pages/comics/lighthouse-part-2.cbz"})
        form.ListView1->appendRow(QString::fromLatin1(path));
    form.ListView1->setRowSelected(0, true);
    form.Edit1->setText("The Lighthouse Keeper");
    form.Edit2->setText("Mara Lind");
    form.LabeledEdit3->setText("/pages/lighthouse-01.jpg");
    form.LabeledEdit4->setText("/home/reader/Books");
    return form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace pagelume::test
