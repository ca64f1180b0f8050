#include "platform/qt/qt_controls.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/errors.h"
#include "platform/qt/qt_style.h"
#include "platform/qt/qt_window.h"

namespace pelmora::qt {

namespace {

// Positions beyond this many pixels are refused rather than handed to Qt.
constexpr double kFarthestPixel = 1'000'000.0;

platform::Error invalidPropertyValue() {
    return {380, "Invalid property value"};
}

void forwardPress(const ControlId& id, QMouseEvent& event) {
    if (id.form != nullptr) {
        id.form->mousePressed(id, event);
    }
}

}  // namespace

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int Units::toPixels(double units) const {
    const double pixels = units / perPixel;
    if (!std::isfinite(pixels) || std::fabs(pixels) > kFarthestPixel) {
        throw platform::Error::overflow();
    }
    return static_cast<int>(std::lround(pixels));
}

// ---------------------------------------------------------------------------------------------
// Labels

LabelWidget::LabelWidget(const platform::ControlDef& def, ControlId id, QRect geometry,
                         QWidget* parent)
    : QWidget(parent),
      id_(std::move(id)),
      text_(def.text),
      shown_(toQString(def.text)),
      alignment_(def.alignment),
      sizing_(def.sizing),
      fore_(toQColor(def.foreColour, palette())),
      back_(toQColor(def.backColour, palette())),
      transparent_(def.transparent) {
    setFont(toQFont(def.font));
    setGeometry(geometry);
    setVisible(def.visible);
    setEnabled(def.enabled);
    fitToText();
}

void LabelWidget::setText(std::string_view text) {
    if (text == text_) {
        return;
    }
    text_.assign(text);
    shown_ = toQString(text);
    fitToText();
    update();
}

void LabelWidget::setAlignment(std::int16_t value) {
    if (value != platform::align::Left && value != platform::align::Right &&
        value != platform::align::Center) {
        throw invalidPropertyValue();
    }
    if (value != alignment_) {
        alignment_ = value;
        update();
    }
}

int LabelWidget::textFlags() const {
    int flags = Qt::AlignTop;
    switch (alignment_) {
        case platform::align::Right:
            flags |= Qt::AlignRight;
            break;
        case platform::align::Center:
            flags |= Qt::AlignHCenter;
            break;
        default:
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
            resize(metrics.horizontalAdvance(shown_), metrics.height());
            break;
        case platform::LabelSizing::WrapGrow: {
            const QRect needed = metrics.boundingRect(
                QRect(0, 0, std::max(1, width()), std::numeric_limits<int>::max() / 2), textFlags(),
                shown_);
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
    painter.drawText(rect(), textFlags(), shown_);
}

void LabelWidget::mousePressEvent(QMouseEvent* event) {
    forwardPress(id_, *event);
}

// ---------------------------------------------------------------------------------------------
// Picture boxes

PictureWidget::PictureWidget(const platform::ControlDef& def, ControlId id, QRect geometry,
                             QImage picture, Units units, QWidget* parent)
    : QWidget(parent),
      id_(std::move(id)),
      picture_(std::move(picture)),
      back_(toQColor(def.backColour, palette())),
      frame_(toQColor(platform::systemColour(6), palette())),
      border_(def.framed ? 1 : 0) {
    setGeometry(geometry);
    const QSize area(std::max(1, geometry.width() - 2 * border_),
                     std::max(1, geometry.height() - 2 * border_));
    background_ = QImage(area, QImage::Format_RGB32);
    background_.fill(back_);
    if (!picture_.isNull()) {
        QPainter painter(&background_);
        painter.drawImage(0, 0, picture_);
    }
    surface_ = background_.copy();
    shown_ = background_.copy();
    scaleWidth_ = units.fromPixels(area.width());
    scaleHeight_ = units.fromPixels(area.height());
    setVisible(def.visible);
    setEnabled(def.enabled);
}

void PictureWidget::cls() {
    std::memcpy(surface_.bits(), background_.constBits(),
                static_cast<std::size_t>(background_.sizeInBytes()));
    surfaceChanged();
}

void PictureWidget::refresh() {
    surfaceChanged();
}

void PictureWidget::setScale(double x1, double y1, double x2, double y2) {
    const double width = x2 - x1;
    const double height = y2 - y1;
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(width) ||
        !std::isfinite(height) || width == 0.0 || height == 0.0) {
        throw platform::Error(platform::errnum::InvalidProcedureCall,
                              "Invalid procedure call or argument: empty or endless scale");
    }
    scaleLeft_ = x1;
    scaleTop_ = y1;
    scaleWidth_ = width;
    scaleHeight_ = height;
}

QPoint PictureWidget::toSurface(double x, double y) const {
    const double px = (x - scaleLeft_) * surface_.width() / scaleWidth_;
    const double py = (y - scaleTop_) * surface_.height() / scaleHeight_;
    if (!std::isfinite(px) || !std::isfinite(py)) {
        throw platform::Error::overflow();
    }
    // Far-off points only need to stay far off; clamping keeps the conversion defined.
    const auto clampToReach = [](double v) {
        return static_cast<int>(std::lround(std::clamp(v, -kFarthestPixel, kFarthestPixel)));
    };
    return {clampToReach(px), clampToReach(py)};
}

void PictureWidget::drawLine(std::int16_t flags, double x1, double y1, double x2, double y2,
                             const QColor& colour) {
    constexpr std::int16_t kBox = 2;
    constexpr std::int16_t kFilled = 4;
    const QPoint a = toSurface(x1, y1);
    const QPoint b = toSurface(x2, y2);
    if ((flags & kBox) != 0) {
        // Corners are pixel edges: the box covers [left, right) x [top, bottom).
        const QRect box = QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                                QPoint(std::max(a.x(), b.x()) - 1, std::max(a.y(), b.y()) - 1));
        if (box.isEmpty()) {
            return;
        }
        if ((flags & kFilled) != 0) {
            const QRect area = box.intersected(surface_.rect());
            if (area.isEmpty()) {
                surfaceChanged();
                return;
            }
            const QRgb pixel = colour.rgb();
            // One detach for the whole box rather than one per row; the first row is filled
            // and copied to the others.
            uchar* const bits = surface_.bits();
            const qsizetype stride = surface_.bytesPerLine();
            auto* const first = reinterpret_cast<QRgb*>(bits + area.top() * stride) + area.left();
            std::fill(first, first + area.width(), pixel);
            const auto rowBytes = static_cast<std::size_t>(area.width()) * sizeof(QRgb);
            for (int y = area.top() + 1; y <= area.bottom(); ++y) {
                std::memcpy(reinterpret_cast<QRgb*>(bits + y * stride) + area.left(), first,
                            rowBytes);
            }
        } else {
            QPainter painter(&surface_);
            painter.setPen(QPen(colour, 1));
            painter.drawRect(box.adjusted(0, 0, -1, -1));
        }
    } else {
        QPainter painter(&surface_);
        painter.setPen(QPen(colour, 1));
        painter.drawLine(a, b);
    }
    surfaceChanged();
}

void PictureWidget::surfaceChanged() {
    if (checkPending_) {
        return;
    }
    checkPending_ = true;
    id_.form->runtime().settleAfterHandlers(*this, *this);
}

void PictureWidget::settle() {
    checkPending_ = false;
    const auto bytes = static_cast<std::size_t>(surface_.sizeInBytes());
    if (std::memcmp(shown_.constBits(), surface_.constBits(), bytes) != 0) {
        std::memcpy(shown_.bits(), surface_.constBits(), bytes);
        update();
    }
}

void PictureWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (border_ > 0) {
        painter.setPen(QPen(frame_, border_));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    painter.drawImage(border_, border_, surface_);
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
    forwardPress(id_, *event);
}

// ---------------------------------------------------------------------------------------------
// Lines and images

LineWidget::LineWidget(const platform::ControlDef& def, QWidget* parent, QPoint origin)
    : QWidget(parent),
      width_(std::max<int>(1, def.borderWidth)),
      colour_(toQColor(def.foreColour, palette())) {
    const QPoint a =
        origin + QPoint(platform::twipsToPixels(def.left), platform::twipsToPixels(def.top));
    const QPoint b =
        origin + QPoint(platform::twipsToPixels(def.width), platform::twipsToPixels(def.height));
    QRect bounds(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
    if (a.y() == b.y()) {
        bounds.setHeight(width_);
    } else if (a.x() == b.x()) {
        bounds.setWidth(width_);
    } else {
        bounds.adjust(-width_, -width_, width_, width_);
    }
    from_ = a - bounds.topLeft();
    to_ = b - bounds.topLeft();
    setGeometry(bounds);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setVisible(def.visible);
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

ImageWidget::ImageWidget(const platform::ControlDef& def, ControlId id, QRect geometry,
                         QImage picture, QWidget* parent)
    : QWidget(parent), id_(std::move(id)), picture_(std::move(picture)), stretch_(def.stretch) {
    setGeometry(geometry);
    if (!stretch_ && !picture_.isNull()) {
        resize(picture_.size());
    }
    setVisible(def.visible);
    setEnabled(def.enabled);
}

void ImageWidget::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) {
        return;
    }
    QPainter painter(this);
    if (stretch_) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), picture_);
    } else {
        painter.drawImage(0, 0, picture_);
    }
}

void ImageWidget::mousePressEvent(QMouseEvent* event) {
    forwardPress(id_, *event);
}

// ---------------------------------------------------------------------------------------------
// Runtime objects

platform::Bool16 QtPictureBox::visible() const {
    return platform::toBool16(widget_.isVisibleTo(widget_.parentWidget()));
}

void QtPictureBox::setVisible(platform::Bool16 value) {
    const bool show = value != 0;
    if (widget_.isVisibleTo(widget_.parentWidget()) != show) {
        widget_.setVisible(show);
    }
}

float QtPictureBox::left() const {
    const auto* parent = dynamic_cast<const PictureWidget*>(widget_.parentWidget());
    const int origin = parent != nullptr ? parent->border() : 0;
    return static_cast<float>(units_.fromPixels(widget_.x() - origin));
}

void QtPictureBox::setLeft(float value) {
    const auto* parent = dynamic_cast<const PictureWidget*>(widget_.parentWidget());
    const int origin = parent != nullptr ? parent->border() : 0;
    widget_.move(origin + units_.toPixels(value), widget_.y());
}

void QtPictureBox::scale(std::int16_t, float x1, float y1, float x2, float y2) {
    widget_.setScale(x1, y1, x2, y2);
}

void QtPictureBox::line(std::int16_t flags, float x1, float y1, float x2, float y2,
                        platform::Colour colour) {
    widget_.drawLine(flags, x1, y1, x2, y2, toQColor(colour, widget_.palette()));
}

QtTimer::QtTimer(const platform::ControlDef& def, QtForm& form, QWidget& owner)
    : name_(def.name),
      handlerName_(form.handlerName(def.name, "Timer")),
      timer_(new QTimer(&owner)),
      enabled_(def.enabled) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(std::max(0, def.interval));
    QObject::connect(timer_, &QTimer::timeout, &owner, [this, &form] { form.timerTicked(*this); });
    apply();
}

void QtTimer::setEnabled(platform::Bool16 value) {
    const bool enable = value != 0;
    if (enable != enabled_) {
        enabled_ = enable;
        apply();
    }
}

void QtTimer::stop() {
    stopped_ = true;
    apply();
}

void QtTimer::apply() {
    if (!stopped_ && enabled_ && timer_->interval() > 0) {
        timer_->start();
    } else {
        timer_->stop();
    }
}

QtMenuItem::QtMenuItem(const platform::MenuDef& def, QAction& action, bool leaf)
    : name_(def.name), index_(def.index), action_(action), leaf_(leaf), checked_(def.checked) {
    restoreMark();
    action_.setEnabled(def.enabled);
    action_.setVisible(def.visible);
}

void QtMenuItem::setChecked(platform::Bool16 value) {
    checked_ = value != 0;
    restoreMark();
}

void QtMenuItem::restoreMark() {
    // Only a marked item is checkable, so unmarked ones show no empty box.
    const bool marked = leaf_ && checked_ && !action_.isSeparator();
    action_.setCheckable(marked);
    action_.setChecked(marked);
}

}  // namespace pelmora::qt
