#pragma once

#include <memory>

#include "image/pngimage.h"
#include "ui/controls.h"

namespace pagelume::ui {

enum class TPNGButtonStyle { pbsDefault, pbsFlat, pbsNoFrame };
enum class TPNGButtonLayout { pbsImageAbove, pbsImageBellow, pbsImageLeft, pbsImageRight };
enum class TPNGButtonState { pbsNormal, pbsDown, pbsDisabled };

// A windowless button that draws a PNG picture with its alpha over whatever
// lies beneath, plus an optional caption; hover and press show as a thin
// frame and a small offset instead of a face.
class TPNGButton : public TGraphicControl {
public:
    explicit TPNGButton(TWinControl* parent);
    ~TPNGButton() override;

    TPNGButtonStyle ButtonStyle() const { return style_; }
    void SetButtonStyle(TPNGButtonStyle style);
    TPNGButtonLayout ButtonLayout() const { return layout_; }
    void SetButtonLayout(TPNGButtonLayout layout);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    QColor FontColor = Qt::black;

    // The setters copy the picture. Setting the normal picture also rebuilds
    // the faded picture shown while disabled.
    const image::TPNGObject& ImageNormal() const { return *imageNormal_; }
    void SetImageNormal(const image::TPNGObject& png);
    // For pictures that come with the window: loaded straight into the normal
    // picture, without the faded copy (that is made when first disabled).
    void LoadImageNormal(const void* data, std::size_t size);
    const image::TPNGObject& ImageDown() const { return *imageDown_; }
    void SetImageDown(const image::TPNGObject& png);
    const image::TPNGObject& ImageOver() const { return *imageOver_; }
    void SetImageOver(const image::TPNGObject& png);
    const image::TPNGObject& DisabledImage() const { return *imageDisabled_; }

    TPNGButtonState State() const { return state_; }
    bool MouseOver() const { return mouseOver_; }

    std::function<void(TPNGButton*)> OnMouseEnter;
    std::function<void(TPNGButton*)> OnMouseExit;

    void Paint(TCanvas& canvas) override;
    void MouseMoved(const TWMMouse& msg) override;
    void MouseEntered() override;
    void MouseLeft() override;
    void CancelMode() override;

protected:
    void MouseDown(Qt::MouseButton button, QPoint pos) override;
    void MouseUp(Qt::MouseButton button, QPoint pos) override;
    void Click() override;
    void EnabledChanged() override;

private:
    void setState(TPNGButtonState state);

    TPNGButtonStyle style_ = TPNGButtonStyle::pbsDefault;
    TPNGButtonLayout layout_ = TPNGButtonLayout::pbsImageAbove;
    TPNGButtonState state_ = TPNGButtonState::pbsNormal;
    bool mouseOver_ = false;
    QString caption_;
    std::unique_ptr<image::TPNGObject> imageNormal_, imageDown_, imageOver_, imageDisabled_;
};

}  // namespace pagelume::ui
