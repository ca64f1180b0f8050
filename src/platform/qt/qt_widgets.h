// The widgets a window is made of on Qt Widgets: labels, picture boxes with a persistent
// drawing surface, lines, images and buttons, placed in pixels. Each one tells its window
// when it is pressed.
#pragma once

#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QWidget>
#include <optional>
#include <string_view>

#include "platform/core/native.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::qt {

// Where a widget's mouse presses go: its window, told which widget was pressed (none for
// the window's own background).
class PressTarget {
  public:
    virtual void pressed(std::optional<core::WidgetId> widget, const QMouseEvent& event) = 0;

  protected:
    ~PressTarget() = default;
};

// A widget of the table placed in its parent, shown and enabled as planned, that tells its
// window of each press on it. Presses count from its drawing area's corner, origin pixels in.
class PlacedWidget : public QWidget {
  public:
    PlacedWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry, QWidget* parent,
                 int origin = 0);

    // Children and drawing start this many pixels in from each edge.
    int origin() const noexcept { return origin_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    PressTarget& target_;
    core::WidgetId id_;
    int origin_;
};

class LabelWidget final : public PlacedWidget {
  public:
    LabelWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry, QWidget* parent);

    const QString& text() const noexcept { return text_; }
    void setText(std::string_view text);
    void setAlignment(platform::Alignment value);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void fitToText();
    int textFlags() const;

    QString text_;
    platform::Alignment alignment_;
    platform::LabelSizing sizing_;
    QColor fore_;
    QColor back_;
    bool transparent_;
};

// A picture box: an optional flat frame in its fore colour round a drawing area that keeps
// what is drawn on it, with the background colour and picture underneath. Clearing and
// filling only change the surface; it shows on the screen at showDrawing(). The core sends a
// drawing only when it differs from the last one it sent, so the box draws whatever it is
// told.
class PictureWidget final : public PlacedWidget {
  public:
    // Children and drawing start inside the frame: its origin is the frame's width.
    PictureWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry,
                  const QImage& picture, QWidget* parent);

    void clear();
    // Fills a box of the drawing area; what lies outside the area is left out.
    void fill(QRect area, QRgb colour);
    // Schedules a repaint of the box with the surface as it is now.
    void showDrawing();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor frameColour_;
    QImage background_;
    QImage surface_;
};

// A line between two points of its parent; windowless, so presses fall through to what is
// below it.
class LineWidget final : public QWidget {
  public:
    LineWidget(const core::WidgetSpec& plan, QPoint from, QPoint to, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPoint from_;
    QPoint to_;
    int width_;
    QColor colour_;
};

class ImageWidget final : public PlacedWidget {
  public:
    ImageWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry,
                const QImage& picture, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    bool stretch_;
};

// A command button of the table, owned by its parent; it never becomes the default by focus.
QPushButton* makeButton(const core::WidgetSpec& plan, QRect geometry, QWidget* parent);

}  // namespace pelmora::qt
