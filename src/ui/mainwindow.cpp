#include "ui/mainwindow.h"

#include <QFile>
#include <QFontMetrics>
#include <QPainterPath>
#include <QRegion>
#include <algorithm>

#include "image/pngimage.h"
#include "platform/exception.h"
#include "ui/bitmaps.h"

namespace pagelume::ui {

namespace {

QByteArray resource(const QString& name) {
    QFile f(":/skin/" + name);
    if (!f.open(QIODevice::ReadOnly))
        throw Exception("Missing skin picture " + name.toStdString());
    return f.readAll();
}

QFont arial(int points, bool bold = false, const char* family = "Arial") {
    QFont f;
    f.setFamilies({family, "Liberation Sans", "Nimbus Sans", "DejaVu Sans"});
    f.setPointSize(points);
    f.setBold(bold);
    return f;
}

TImage* image(TWinControl* parent, QRect r, TAlign align, const QString& picture, bool stretch) {
    auto* img = new TImage(parent);
    img->SetBoundsRect(r);
    img->Align = align;
    img->Stretch = stretch;
    if (!picture.isEmpty())
        img->SetPicture(SkinPicture(picture));
    return img;
}

TPanel* panel(QWidget* parent, QRect r) {
    auto* p = new TPanel(parent);
    p->setGeometry(r);
    return p;
}

TPNGButton* pngButton(TWinControl* parent, QRect r, const QString& caption, const QString& icon) {
    auto* b = new TPNGButton(parent);
    b->SetBoundsRect(r);
    b->SetCaption(caption);
    const QByteArray png = resource(icon);
    b->LoadImageNormal(png.constData(), static_cast<std::size_t>(png.size()));
    b->SetButtonLayout(TPNGButtonLayout::pbsImageAbove);
    b->SetButtonStyle(TPNGButtonStyle::pbsFlat);
    b->Cursor = Qt::PointingHandCursor;
    b->Font = arial(8);
    b->FontColor = Qt::white;
    return b;
}

QLineEdit* edit(QWidget* parent, QRect r) {
    auto* e = new QLineEdit(parent);
    e->setGeometry(r);
    return e;
}

// Labels size themselves to their text: at least the designed width, wider
// when the font at hand needs it, so no caption is ever cut.
int labelWidth(const TLabel* l, int designed) {
    return std::max(designed, QFontMetrics(l->Font).horizontalAdvance(l->Caption) + 1);
}

TLabel* boundLabel(TWinControl* parent, QLineEdit* e, const QString& caption, QSize size) {
    auto* l = new TLabel(parent);
    l->Caption = caption;
    const int width = labelWidth(l, size.width());
    // Left of the edit with a 3-pixel gap, centred on it.
    l->SetBounds(e->x() - width - 3, e->y() + (e->height() - size.height()) / 2, width,
                 size.height());
    return l;
}

}  // namespace

TPicture SkinPicture(const QString& name) {
    const QByteArray bytes = resource(name);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    if (name.endsWith(".jpg"))
        return TPicture::fromBitmap(decodeJpeg(data, size));
    if (name.endsWith(".bmp"))
        return TPicture::fromBitmap(decodeBmp(data, size));
    auto png = std::make_shared<image::TPNGObject>();
    png->LoadFromMemory(data, size);
    return TPicture::fromPNG(std::shared_ptr<const image::TPNGObject>(std::move(png)));
}

void CreateMainControls(TWinControl* form, TMainControls& c) {
    QFont formFont;
    formFont.setFamilies({"MS Sans Serif", "Liberation Sans", "DejaVu Sans"});
    formFont.setPointSize(8);
    form->setFont(formFont);
    form->resize(kFormWidth, kFormHeight);

    // Header.
    c.PanelTop = panel(form, {0, 0, 719, 135});
    form->SetAlign(c.PanelTop, TAlign::alTop);
    c.Image2 = image(c.PanelTop, {0, 0, 333, 135}, TAlign::alLeft, "header.jpg", false);
    c.Image4 = image(c.PanelTop, {333, 0, 206, 135}, TAlign::alClient, "header_fill.jpg", true);
    c.Image6 = image(c.PanelTop, {539, 0, 180, 135}, TAlign::alRight, "header_right.jpg", false);
    c.PNGButton2 = pngButton(c.PanelTop, {0, 40, 58, 58}, "Add", "icon_add.png");
    c.PNGButton1 = pngButton(c.PanelTop, {56, 40, 58, 58}, "Remove", "icon_remove.png");
    c.PNGButton3 = pngButton(c.PanelTop, {112, 40, 73, 58}, "Remove All", "icon_remove_all.png");
    c.PNGButton4 = pngButton(c.PanelTop, {184, 40, 58, 58}, "Convert", "icon_convert.png");
    c.PNGButton4->Font = arial(8, true, "Arial Black");
    c.PNGButton4->FontColor = Qt::yellow;
    c.PNGButton5 = pngButton(c.PanelTop, {256, 40, 58, 58}, "Home", "icon_home.png");
    c.ImgBtnMin = new TImgBtn(c.PanelTop);
    c.ImgBtnMin->SetBounds(649, 8, 25, 31);
    c.ImgBtnClose = new TImgBtn(c.PanelTop);
    c.ImgBtnClose->SetBounds(673, 8, 25, 31);

    // Bottom bar.
    c.PanelBtm = panel(form, {0, 467, 719, 45});
    form->SetAlign(c.PanelBtm, TAlign::alBottom);
    c.Image3 = image(c.PanelBtm, {0, 0, 227, 45}, TAlign::alLeft, "bottom_left.jpg", false);
    c.Image11 = image(c.PanelBtm, {227, 0, 423, 45}, TAlign::alClient, "bottom_fill.jpg", true);
    c.Image10 = image(c.PanelBtm, {650, 0, 69, 45}, TAlign::alRight, "bottom_right.jpg", false);
    c.ProgressBar1 = new QProgressBar(c.PanelBtm);
    c.ProgressBar1->setGeometry(240, 15, 160, 15);
    c.ProgressBar1->setRange(0, 1000);
    c.ProgressBar1->setTextVisible(false);
    c.ProgressBar1->hide();
    c.ComboBoxKind = new QComboBox(c.PanelBtm);
    for (const char* item : kBookKindItems)
        c.ComboBoxKind->addItem(QString::fromUtf8(item));
    c.ComboBoxKind->setGeometry(415, 11, 120, 23);
    c.ComboBoxKind->setFont(arial(8));
    c.ComboBoxKind->setAccessibleName(QStringLiteral("Kind of book"));
    c.ComboBoxKind->setToolTip(
        QStringLiteral("Default EPUB: every page flows like a picture in a text, as Pagelume "
                       "has always made books.\nStrict EPUB: passes EPUB validation (epubcheck) "
                       "without errors or warnings, for e-book stores and strict readers.\n"
                       "Fixed layout: an EPUB 3 book whose every page fills the screen, two "
                       "side by side in landscape; for comics and manga."));
    c.CheckBoxRtl = new TSkinCheckBox(QStringLiteral("Right to left"), c.PanelBtm);
    c.CheckBoxRtl->setGeometry(545, 13, 100, 19);
    c.CheckBoxRtl->setFont(arial(8));
    c.CheckBoxRtl->setAccessibleName(QStringLiteral("Right to left"));
    c.CheckBoxRtl->setToolTip(
        QStringLiteral("Pages turn to the left, as in manga (fixed-layout books only)"));

    // Left column.
    c.PanelLeft = panel(form, {0, 135, 171, 332});
    form->SetAlign(c.PanelLeft, TAlign::alLeft);
    c.Image7 = image(c.PanelLeft, {0, 0, 8, 332}, TAlign::alLeft, "border_left.jpg", true);
    c.Image8 = image(c.PanelLeft, {150, 0, 21, 332}, TAlign::alRight, "border_right.jpg", true);
    c.PanelLeftBtm = panel(c.PanelLeft, {8, 0, 142, 332});
    c.PanelLeftBtm->BevelWidth = 1;
    c.PanelLeft->SetAlign(c.PanelLeftBtm, TAlign::alClient);
    TPanel* lb = c.PanelLeftBtm;
    c.Image1 = image(lb, {1, 1, 140, 168}, TAlign::alTop, "preview_placeholder.jpg", true);
    c.Image16 = image(lb, {1, 169, 140, 10}, TAlign::alTop, "filler.jpg", true);
    c.Image5 = image(lb, {1, 179, 140, 24}, TAlign::alTop, "heading_title.jpg", false);
    c.Image15 = image(lb, {1, 203, 140, 53}, TAlign::alClient, "filler.jpg", true);
    c.Image12 = image(lb, {1, 256, 140, 24}, TAlign::alBottom, "heading_author.jpg", false);
    c.Image14 = image(lb, {1, 280, 140, 51}, TAlign::alBottom, "filler.jpg", true);
    c.Edit1 = edit(lb, {8, 216, 121, 21});
    c.Edit2 = edit(lb, {8, 288, 121, 21});
    lb->AnchorBottom(c.Edit2);  // it stands below the Author heading, docked at the bottom

    // Right border, then the client area.
    c.Image9 = image(form, {704, 135, 15, 332}, TAlign::alRight, "border_far_right.jpg", true);
    c.PanelClient = panel(form, {171, 135, 533, 332});
    c.PanelClient->Color = Qt::white;
    form->SetAlign(c.PanelClient, TAlign::alClient);
    c.ListView1 = new TPageList(c.PanelClient);
    c.ListView1->setGeometry(0, 0, 533, 184);
    c.PanelClient->SetAlign(c.ListView1, TAlign::alClient);
    c.PaneClientBtm = panel(c.PanelClient, {0, 184, 533, 148});
    c.PaneClientBtm->Color = c.PaneClientBtm->palette().color(QPalette::Base);
    c.PanelClient->SetAlign(c.PaneClientBtm, TAlign::alBottom);
    TPanel* cb = c.PaneClientBtm;
    c.Image13 = image(cb, {0, 8, 533, 140}, TAlign::alBottom, "filler.jpg", true);
    c.Image17 = image(cb, {0, -8, 533, 16}, TAlign::alBottom, "separator.png", true);
    c.Label2 = new TLabel(cb);
    c.Label2->Caption = "Drag items to  adjust the order of png list.";
    c.Label2->Font = arial(8);
    c.Label2->SetBounds(169, 0, labelWidth(c.Label2, 198), 14);
    c.Image18 = image(cb, {144, 0, 16, 16}, TAlign::alNone, "hint.png", false);
    c.LabeledEdit3 = edit(cb, {109, 36, 340, 21});
    c.LabeledEdit3Label = boundLabel(cb, c.LabeledEdit3, "Cover Image:  ", {69, 13});
    c.LabeledEdit4 = edit(cb, {112, 100, 337, 21});
    c.LabeledEdit4->setText("D:\\Output");
    c.LabeledEdit4Label = boundLabel(cb, c.LabeledEdit4, "Save  Epub  To:  ", {84, 13});
    c.PNGButton8 = pngButton(cb, {469, 16, 57, 57}, "", "icon_cover.png");
    c.PNGButton9 = pngButton(cb, {469, 80, 57, 57}, "", "icon_folder.png");
    c.ComboBoxFit = new QComboBox(cb);
    c.ComboBoxFit->setGeometry(109, 68, 190, 22);
    c.ComboBoxFit->setFont(arial(8));
    c.ComboBoxFit->setAccessibleName(QStringLiteral("Fit pages to"));
    c.ComboBoxFit->setToolTip(QStringLiteral(
        "Original pages: every image goes into the book as it is.\nA device: pages larger than "
        "its screen are scaled down to fit it and written as JPEG."));
    c.LabelFit = new TLabel(cb);
    c.LabelFit->Caption = "Fit pages to:  ";
    c.LabelFit->Font = arial(8);
    {
        const int width = labelWidth(c.LabelFit, 73);
        c.LabelFit->SetBounds(c.ComboBoxFit->x() - width - 3, 72, width, 13);
    }
    c.LabelFit->Buddy = c.ComboBoxFit;
    c.EditFitSize = edit(cb, {305, 68, 70, 22});
    c.EditFitSize->setAccessibleName(QStringLiteral("Custom screen size"));
    c.EditFitSize->setPlaceholderText(QStringLiteral("1264x1680"));
    c.EditFitSize->setToolTip(QStringLiteral("The custom screen: width x height in pixels"));
    c.CheckBoxGrey = new QCheckBox(QStringLiteral("Greyscale"), cb);  // on the light pane: plain
    c.CheckBoxGrey->setGeometry(383, 70, 80, 19);
    c.CheckBoxGrey->setFont(arial(8));
    c.CheckBoxGrey->setAccessibleName(QStringLiteral("Greyscale"));
    c.CheckBoxGrey->setToolTip(QStringLiteral("Pages in 8-bit grey, for e-ink screens"));
    c.PanelImage = panel(c.PanelClient, {217, 31, 160, 106});
    c.ImageM = image(c.PanelImage, {16, 32, 121, 59}, TAlign::alNone, "sprite.bmp", false);

    // Names for screen readers and tooltips; the painted buttons join the
    // tab chain through stand-ins that carry these names.
    const std::pair<TGraphicControl*, QString> named[] = {
        {c.PNGButton2, "Add"},
        {c.PNGButton1, "Remove"},
        {c.PNGButton3, "Remove All"},
        {c.PNGButton4, "Convert"},
        {c.PNGButton5, "Home"},
        {c.ImgBtnMin, "Minimize"},
        {c.ImgBtnClose, "Close"},
        {c.PNGButton8, "Choose the cover image"},
        {c.PNGButton9, "Choose the output folder"},
    };
    for (const auto& [control, name] : named) {
        control->Hint = name;
        control->SetFocusable(name);
    }
    c.Edit1->setAccessibleName("Title");
    c.Edit2->setAccessibleName("Author");
    c.LabeledEdit3->setAccessibleName("Cover Image");
    c.LabeledEdit4->setAccessibleName("Save Epub To");
    c.LabeledEdit3Label->Buddy = c.LabeledEdit3;
    c.LabeledEdit4Label->Buddy = c.LabeledEdit4;
    c.ListView1->setAccessibleName("Pages");

    // Tab order: the book's fields from the title down, each browse button
    // after its field, then the toolbar and the title bar; the title field
    // has the focus first.
    QWidget* chain[] = {c.Edit1,
                        c.Edit2,
                        c.ListView1,
                        c.LabeledEdit3,
                        c.PNGButton8->FocusProxy(),
                        c.ComboBoxFit,
                        c.EditFitSize,
                        c.CheckBoxGrey,
                        c.LabeledEdit4,
                        c.PNGButton9->FocusProxy(),
                        c.ComboBoxKind,
                        c.CheckBoxRtl,
                        c.PNGButton2->FocusProxy(),
                        c.PNGButton1->FocusProxy(),
                        c.PNGButton3->FocusProxy(),
                        c.PNGButton4->FocusProxy(),
                        c.PNGButton5->FocusProxy(),
                        c.ImgBtnMin->FocusProxy(),
                        c.ImgBtnClose->FocusProxy()};
    for (std::size_t i = 0; i + 1 < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);
    c.Edit1->setFocus();

    for (TWinControl* w :
         std::initializer_list<TWinControl*>{form, c.PanelTop, c.PanelBtm, c.PanelLeft,
                                             c.PanelLeftBtm, c.PanelClient, c.PaneClientBtm})
        w->AlignControls();
}

QRegion RoundedFormRegion(int width, int height) {
    // Corners are ellipses 10 pixels across, over a rectangle one pixel
    // larger than the window, as the outline was always drawn.
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width + 1, height + 1), 5, 5);
    return QRegion(path.toFillPolygon().toPolygon()).intersected(QRect(0, 0, width, height));
}

void CutButtonImages(TImgBtn* button, const TImage* sprite, int w, int h, int x, int y) {
    const image::DrawSurface* bits = sprite->Picture().bitmap();
    const image::DrawSurface empty;
    const image::DrawSurface& src = bits ? *bits : empty;
    button->Pic = TPicture::fromBitmap(copyRect(src, x, y, w, h), true);
    button->PicUp = TPicture::fromBitmap(copyRect(src, x, y + h, w, h), true);
    button->PicDown = TPicture::fromBitmap(copyRect(src, x, y + 2 * h, w, h), true);
    button->SetPicture(button->Pic);
}

void SetUpChrome(TWinControl* form, TMainControls& c) {
    form->setMask(RoundedFormRegion(form->width(), form->height()));
    c.PanelImage->hide();
    c.ImgBtnMin->BringToFront();
    c.ImgBtnMin->SetBounds(form->width() - 70, 8, c.ImgBtnMin->Width(), c.ImgBtnMin->Height());
    CutButtonImages(c.ImgBtnMin, c.ImageM, 40, 20, 0, 0);
    c.ImgBtnClose->BringToFront();
    c.ImgBtnClose->SetBounds(form->width() - 70 + 24, 8, c.ImgBtnClose->Width(),
                             c.ImgBtnClose->Height());
    CutButtonImages(c.ImgBtnClose, c.ImageM, 24, 20, 68, 0);
}

}  // namespace pagelume::ui
