#include "platform/qt/qt_widgets.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/qt/qt_style.h"

namespace pelmora::qt {

namespace {

bool wholeMultiple(qreal length, int of) {
    const qreal times = length / of;
    return times >= 1.0 && std::abs(times - std::round(times)) < 1e-6;
}

}  // namespace

PlacedWidget::PlacedWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry,
                           QWidget* parent, int origin)
    : QWidget(parent), target_(target), id_(plan.id), origin_(origin) {
    setGeometry(geometry);
    setVisible(plan.visible);
    setEnabled(plan.enabled);
}

void PlacedWidget::mousePressEvent(QMouseEvent* event) {
    const QPointF offset(origin_, origin_);
    const QMouseEvent inside(event->type(), event->position() - offset, event->scenePosition(),
                             event->globalPosition(), event->button(), event->buttons(),
                             event->modifiers());
    target_.pressed(id_, inside);
}

// ---------------------------------------------------------------------------------------------
// Labels

LabelWidget::LabelWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry,
                         QWidget* parent)
    : PlacedWidget(plan, target, geometry, parent),
      text_(toQString(plan.text)),
      alignment_(plan.alignment),
      sizing_(plan.sizing),
      fore_(toQColor(plan.foreColour, palette())),
      back_(toQColor(plan.backColour, palette())),
      transparent_(plan.transparent) {
    setFont(toQFont(plan.font));
    fitToText();
}

void LabelWidget::setText(std::string_view text) {
    QString next = toQString(text);
    if (next == text_) {
        return;
    }
    text_ = std::move(next);
    fitToText();
    update();
}

void LabelWidget::setAlignment(platform::Alignment value) {
    if (value != alignment_) {
        alignment_ = value;
        update();
    }
}

int LabelWidget::textFlags() const {
    int flags = Qt::AlignTop;
    switch (alignment_) {
        case platform::Alignment::Right:
            flags |= Qt::AlignRight;
            break;
        case platform::Alignment::Center:
            flags |= Qt::AlignHCenter;
            break;
        case platform::Alignment::Left:
            flags |= Qt::AlignLeft;
            break;
    }
    const bool wraps =
        sizing_ == platform::LabelSizing::WrapFixed || sizing_ == platform::LabelSizing::WrapGrow;
    flags |= wraps ? Qt::TextWordWrap : Qt::TextSingleLine;
    return flags;
}

void LabelWidget::fitToText() {
    const QFontMetrics metrics(font());
    switch (sizing_) {
        case platform::LabelSizing::AutoSize:
            resize(metrics.horizontalAdvance(text_), metrics.height());
            break;
        case platform::LabelSizing::WrapGrow: {
            const QRect needed = metrics.boundingRect(
                QRect(0, 0, std::max(1, width()), std::numeric_limits<int>::max() / 2), textFlags(),
                text_);
            resize(width(), std::max(needed.height(), metrics.height()));
            break;
        }
        case platform::LabelSizing::Fixed:
        case platform::LabelSizing::WrapFixed:
            break;
    }
}

void LabelWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!transparent_) {
        painter.fillRect(rect(), back_);
    }
    painter.setPen(fore_);
    painter.setFont(font());
    painter.drawText(rect(), textFlags(), text_);
}

// ---------------------------------------------------------------------------------------------
// Picture boxes

// Presses count from the drawing area's corner, inside the frame, as drawing does.
PictureWidget::PictureWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry,
                             const QImage& picture, QWidget* parent)
    : PlacedWidget(plan, target, geometry, parent, std::max(0, plan.frame)),
      frameColour_(toQColor(plan.foreColour, palette())) {
    const QSize area(std::max(1, geometry.width() - 2 * origin()),
                     std::max(1, geometry.height() - 2 * origin()));
    background_ = QImage(area, QImage::Format_RGB32);
    background_.fill(toQColor(plan.backColour, palette()));
    if (!picture.isNull()) {
        QPainter painter(&background_);
        painter.drawImage(0, 0, picture);
    }
    surface_ = background_.copy();
}

void PictureWidget::clear() {
    std::memcpy(surface_.bits(), background_.constBits(),
                static_cast<std::size_t>(background_.sizeInBytes()));
}

void PictureWidget::fill(QRect area, QRgb colour) {
    area = area.intersected(surface_.rect());
    if (!area.isEmpty()) {
        // One detach for the whole box rather than one per row; the first row is filled and
        // copied to the others.
        uchar* const bits = surface_.bits();
        const qsizetype stride = surface_.bytesPerLine();
        auto* const first = reinterpret_cast<QRgb*>(bits + area.top() * stride) + area.left();
        std::fill(first, first + area.width(), colour);
        const auto rowBytes = static_cast<std::size_t>(area.width()) * sizeof(QRgb);
        for (int y = area.top() + 1; y <= area.bottom(); ++y) {
            std::memcpy(reinterpret_cast<QRgb*>(bits + y * stride) + area.left(), first, rowBytes);
        }
    }
}

void PictureWidget::showDrawing() {
    update();
}

void PictureWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (origin() > 0) {
        // Filled, not stroked: a pen's edges fall between device pixels at some scales.
        painter.fillRect(rect(), frameColour_);
    }
    painter.drawImage(origin(), origin(), surface_);
}

// ---------------------------------------------------------------------------------------------
// Lines, images and buttons

LineWidget::LineWidget(const core::WidgetSpec& plan, QPoint from, QPoint to, QWidget* parent)
    : QWidget(parent), width_(plan.lineWidth), colour_(toQColor(plan.foreColour, palette())) {
    QRect bounds(QPoint(std::min(from.x(), to.x()), std::min(from.y(), to.y())),
                 QPoint(std::max(from.x(), to.x()), std::max(from.y(), to.y())));
    if (from.y() == to.y()) {
        bounds.setHeight(width_);
    } else if (from.x() == to.x()) {
        bounds.setWidth(width_);
    } else {
        bounds.adjust(-width_, -width_, width_, width_);
    }
    from_ = from - bounds.topLeft();
    to_ = to - bounds.topLeft();
    setGeometry(bounds);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setVisible(plan.visible);
}

void LineWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (from_.x() == to_.x() || from_.y() == to_.y()) {
        painter.fillRect(rect(), colour_);
        return;
    }
    painter.setPen(QPen(colour_, width_));
    painter.drawLine(from_, to_);
}

ImageWidget::ImageWidget(const core::WidgetSpec& plan, PressTarget& target, QRect geometry,
                         const QImage& picture, QWidget* parent)
    : PlacedWidget(plan, target, geometry, parent), picture_(picture), stretch_(plan.stretch) {
    if (!stretch_ && !picture_.isNull()) {
        resize(picture_.size());
    }
}

void ImageWidget::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) {
        return;
    }
    QPainter painter(this);
    if (stretch_) {
        // A whole number of device pixels per picture pixel stays sharp; only an uneven
        // stretch is smoothed.
        const QRectF shown = painter.deviceTransform().mapRect(QRectF(rect()));
        const bool whole = wholeMultiple(shown.width(), picture_.width()) &&
                           wholeMultiple(shown.height(), picture_.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !whole);
        painter.drawImage(rect(), picture_);
    } else {
        painter.drawImage(0, 0, picture_);
    }
}

QPushButton* makeButton(const core::WidgetSpec& plan, QRect geometry, QWidget* parent) {
    auto* button = new QPushButton(toQString(plan.text), parent);
    QFont font = toQFont(plan.font);
    // Buttons keep the toolkit's smooth text; only the skin's lettering is pixel-exact.
    font.setStyleStrategy(QFont::PreferDefault);
    button->setFont(font);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setDefault(plan.isDefault);
    button->setVisible(plan.visible);
    button->setEnabled(plan.enabled);
    return button;
}

}  // namespace pelmora::qt
