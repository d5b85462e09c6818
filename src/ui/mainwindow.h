#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>

#include "ui/ImgBtn.h"
#include "ui/controls.h"
#include "ui/pagelist.h"
#include "ui/pngextra.h"
#include "ui/skin_checkbox.h"

namespace pagelume::ui {

// An edit field with its label on its left, the label painted by the parent.
struct TLabeledEdit {
    QLineEdit* edit = nullptr;
    TLabel* label = nullptr;
};

// The controls of the main window, named as the window's design names them.
// The window is not resizable, so their rectangles are the ones on screen.
struct TMainControls {
    TPanel *PanelTop = nullptr, *PanelLeft = nullptr, *PanelLeftBtm = nullptr,
           *PanelClient = nullptr, *PaneClientBtm = nullptr, *PanelImage = nullptr,
           *PanelBtm = nullptr;
    TImage *Image1 = nullptr, *Image2 = nullptr, *Image3 = nullptr, *Image4 = nullptr,
           *Image5 = nullptr, *Image6 = nullptr, *Image7 = nullptr, *Image8 = nullptr,
           *Image9 = nullptr, *Image10 = nullptr, *Image11 = nullptr, *Image12 = nullptr,
           *Image13 = nullptr, *Image14 = nullptr, *Image15 = nullptr, *Image16 = nullptr,
           *Image17 = nullptr, *Image18 = nullptr, *ImageM = nullptr;
    TPNGButton *PNGButton1 = nullptr, *PNGButton2 = nullptr, *PNGButton3 = nullptr,
               *PNGButton4 = nullptr, *PNGButton5 = nullptr, *PNGButton8 = nullptr,
               *PNGButton9 = nullptr;
    TImgBtn *ImgBtnMin = nullptr, *ImgBtnClose = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *LabeledEdit3 = nullptr, *LabeledEdit4 = nullptr;
    TLabel *LabeledEdit3Label = nullptr, *LabeledEdit4Label = nullptr;
    TLabel* Label2 = nullptr;
    TPageList* ListView1 = nullptr;
    // Shown in the bottom bar while a book is made.
    QProgressBar* ProgressBar1 = nullptr;
    // In the bottom bar: the kind of book (items in the order of
    // kBookKindItems) and, for a fixed layout, its reading direction.
    QComboBox* ComboBoxKind = nullptr;
    TSkinCheckBox* CheckBoxRtl = nullptr;
    // Between the cover and the save folder: the screen pages are fitted to
    // ("Original pages", the devices, "Custom"), the custom size (WxH) and
    // greyscale.
    TLabel* LabelFit = nullptr;
    QComboBox* ComboBoxFit = nullptr;
    QLineEdit* EditFitSize = nullptr;
    QCheckBox* CheckBoxGrey = nullptr;
};

// The kind-of-book choices as the combo box lists them: default, strict,
// fixed layout.
inline constexpr const char* kBookKindItems[] = {"Default EPUB", "Strict EPUB", "Fixed layout"};

constexpr int kFormWidth = 719;
constexpr int kFormHeight = 512;

// Creates every control on the form, with its pictures, at its place, in its
// stacking order, as the stored window description has it.
void CreateMainControls(TWinControl* form, TMainControls& c);

// The window's chrome, before start-up: rounded outline, hidden sprite panel,
// title-bar buttons placed and cut from the sprite.
void SetUpChrome(TWinControl* form, TMainControls& c);

// Fills the button's three pictures from the sprite: the W x H cells at
// (X, Y), (X, Y + H) and (X, Y + 2H), each with its automatic transparent colour.
void CutButtonImages(TImgBtn* button, const TImage* sprite, int w, int h, int x, int y);

// The rounded region of a form of the given size (corners of radius 5).
QRegion RoundedFormRegion(int width, int height);

// A picture from the window's own resources.
TPicture SkinPicture(const QString& name);

}  // namespace pagelume::ui
