// The controls of a form on Qt Widgets: labels, picture boxes, lines, images, buttons,
// timers and menus. Widgets keep their own state; the runtime objects are thin views on them.
#pragma once

#include <QAction>
#include <QColor>
#include <QImage>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/qt/qt_runtime.h"

namespace pelmora::qt {

class QtForm;

// Where a control's events go: its form, its name and its index.
struct ControlId {
    QtForm* form = nullptr;
    std::string name;
    std::int16_t index = platform::kNoIndex;
};

// Converts between pixels and the form's coordinate unit.
struct Units {
    double perPixel = 1.0;
    double fromPixels(int pixels) const { return pixels * perPixel; }
    // Rounds to the nearest pixel; a value that is not finite or out of reach throws Error 6.
    int toPixels(double units) const;
};

class LabelWidget final : public QWidget {
  public:
    LabelWidget(const platform::ControlDef& def, ControlId id, QRect geometry, QWidget* parent);

    const std::string& text() const { return text_; }
    void setText(std::string_view text);
    std::int16_t alignment() const { return alignment_; }
    void setAlignment(std::int16_t value);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void fitToText();
    int textFlags() const;

    ControlId id_;
    std::string text_;
    QString shown_;
    std::int16_t alignment_;
    platform::LabelSizing sizing_;
    QColor fore_;
    QColor back_;
    bool transparent_;
};

// A picture box: an optional flat frame round a drawing area that keeps what is drawn on it
// (a persistent surface), with the background colour and picture underneath.
class PictureWidget final : public QWidget, private Settling {
  public:
    PictureWidget(const platform::ControlDef& def, ControlId id, QRect geometry, QImage picture,
                  Units units, QWidget* parent);

    // Children and drawing start inside the frame.
    int border() const { return border_; }
    const QImage& surface() const { return surface_; }

    void cls();
    void refresh();
    void setScale(double x1, double y1, double x2, double y2);
    void drawLine(std::int16_t flags, double x1, double y1, double x2, double y2,
                  const QColor& colour);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QPoint toSurface(double x, double y) const;
    // Repaints once the current handler is done, and only when the surface really changed,
    // so a bar cleared and drawn again the same never flickers nor costs a repaint.
    void surfaceChanged();
    void settle() override;

    ControlId id_;
    QImage picture_;
    QColor back_;
    QColor frame_;
    int border_;
    QImage background_;
    QImage surface_;
    QImage shown_;
    bool checkPending_ = false;
    double scaleLeft_ = 0.0;
    double scaleTop_ = 0.0;
    double scaleWidth_ = 1.0;
    double scaleHeight_ = 1.0;
};

// A line, drawn with both end points; windowless, so presses fall through to what is below.
class LineWidget final : public QWidget {
  public:
    LineWidget(const platform::ControlDef& def, QWidget* parent, QPoint origin);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPoint from_;
    QPoint to_;
    int width_;
    QColor colour_;
};

class ImageWidget final : public QWidget {
  public:
    ImageWidget(const platform::ControlDef& def, ControlId id, QRect geometry, QImage picture,
                QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    ControlId id_;
    QImage picture_;
    bool stretch_;
};

class QtLabel final : public platform::Label {
  public:
    explicit QtLabel(LabelWidget& widget) : widget_(widget) {}
    std::string caption() const override { return widget_.text(); }
    void setCaption(std::string_view text) override { widget_.setText(text); }
    std::int16_t alignment() const override { return widget_.alignment(); }
    void setAlignment(std::int16_t value) override { widget_.setAlignment(value); }

  private:
    LabelWidget& widget_;
};

class QtPictureBox final : public platform::PictureBox {
  public:
    QtPictureBox(PictureWidget& widget, Units units) : widget_(widget), units_(units) {}
    platform::Bool16 visible() const override;
    void setVisible(platform::Bool16 value) override;
    float left() const override;
    void setLeft(float value) override;
    void cls() override { widget_.cls(); }
    void refresh() override { widget_.refresh(); }
    void scale(std::int16_t flags, float x1, float y1, float x2, float y2) override;
    void line(std::int16_t flags, float x1, float y1, float x2, float y2,
              platform::Colour colour) override;

    PictureWidget& widget() { return widget_; }

  private:
    PictureWidget& widget_;
    Units units_;
};

class QtTimer final : public platform::Timer {
  public:
    QtTimer(const platform::ControlDef& def, QtForm& form, QWidget& owner);
    platform::Bool16 enabled() const override { return platform::toBool16(enabled_); }
    void setEnabled(platform::Bool16 value) override;

    const std::string& name() const { return name_; }
    // "frmmain MainTimer_Timer", built once: the timer ticks many times a second.
    const std::string& handlerName() const { return handlerName_; }
    // Stops for good: an unloaded form's timer never ticks again.
    void stop();

  private:
    void apply();

    std::string name_;
    std::string handlerName_;
    QTimer* timer_;
    bool enabled_;
    bool stopped_ = false;
};

class QtMenuItem final : public platform::MenuItem {
  public:
    // A leaf item shows a check mark when checked; a submenu's own item never does.
    QtMenuItem(const platform::MenuDef& def, QAction& action, bool leaf);
    platform::Bool16 checked() const override { return platform::toBool16(checked_); }
    void setChecked(platform::Bool16 value) override;

    const std::string& name() const { return name_; }
    std::int16_t index() const { return index_; }
    QAction& action() { return action_; }
    // Qt flips a checkable action when it is chosen; the mark is the program's to change.
    void restoreMark();

  private:
    std::string name_;
    std::int16_t index_;
    QAction& action_;
    bool leaf_;
    bool checked_;
};

class QtMenu final : public platform::Menu {
  public:
    QtMenu(QMenu& menu, QtForm& owner) : menu_(menu), owner_(owner) {}
    QMenu& menu() { return menu_; }
    // The form whose items the menu holds and whose events their clicks raise.
    QtForm& owner() { return owner_; }

  private:
    QMenu& menu_;
    QtForm& owner_;
};

QString toQString(std::string_view text);

}  // namespace pelmora::qt
