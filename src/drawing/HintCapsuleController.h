#pragma once

#include <QObject>
#include <QPropertyAnimation>
#include <QRect>

#include <memory>

class QWidget;

// The small dark capsule near the bottom of the pointer's screen that tells the user, while the
// quick-draw modifiers are held, what to do next. It never takes clicks or focus.
class HintCapsuleController : public QObject {
    Q_OBJECT
public:
    static constexpr int width = 360;
    static constexpr int height = 40;
    static constexpr int bottomMargin = 16;

    explicit HintCapsuleController(QObject *parent = nullptr);
    ~HintCapsuleController() override;

    // Places the capsule on the screen under the pointer (every time) and fades it in unless shown.
    void show();
    // Fades it out and removes it, if it is shown.
    void hide();

    // Shown or fading in; false while fading out.
    bool isShown() const { return shown_; }
    QWidget *window() const { return window_.get(); }

    // Centred horizontally, `bottomMargin` above the bottom of the screen's available area.
    static QRect frameFor(const QRect &availableGeometry);

private:
    std::unique_ptr<QWidget> window_;
    QPropertyAnimation fade_;
    bool shown_ = false;
};
