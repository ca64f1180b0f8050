#include "platform/qt/qt_style.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "platform/core/native.h"

// Resources compiled into a static library need an explicit initialisation call, made from
// the global namespace.
static void initialisePelmoraResources() {
    Q_INIT_RESOURCE(pelmora);
}

namespace pelmora::qt {

namespace {

// The OS's system colour indexes and the palette roles that play their part here.
struct SystemColourRole {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

constexpr std::array<SystemColourRole, 25> kSystemColours{{
    {QPalette::Active, QPalette::Button},           // 0 scroll bar
    {QPalette::Active, QPalette::Dark},             // 1 desktop
    {QPalette::Active, QPalette::Highlight},        // 2 active caption
    {QPalette::Inactive, QPalette::Highlight},      // 3 inactive caption
    {QPalette::Active, QPalette::Window},           // 4 menu
    {QPalette::Active, QPalette::Base},             // 5 window background
    {QPalette::Active, QPalette::Shadow},           // 6 window frame
    {QPalette::Active, QPalette::WindowText},       // 7 menu text
    {QPalette::Active, QPalette::Text},             // 8 window text
    {QPalette::Active, QPalette::HighlightedText},  // 9 caption text
    {QPalette::Active, QPalette::Window},           // 10 active border
    {QPalette::Inactive, QPalette::Window},         // 11 inactive border
    {QPalette::Active, QPalette::Mid},              // 12 application workspace
    {QPalette::Active, QPalette::Highlight},        // 13 highlight
    {QPalette::Active, QPalette::HighlightedText},  // 14 highlighted text
    {QPalette::Active, QPalette::Window},           // 15 button face, the dialog background
    {QPalette::Active, QPalette::Dark},             // 16 button shadow
    {QPalette::Disabled, QPalette::Text},           // 17 grey text
    {QPalette::Active, QPalette::ButtonText},       // 18 button text
    {QPalette::Inactive, QPalette::WindowText},     // 19 inactive caption text
    {QPalette::Active, QPalette::Light},            // 20 button highlight
    {QPalette::Active, QPalette::Shadow},           // 21 dark 3D shadow
    {QPalette::Active, QPalette::Midlight},         // 22 3D light
    {QPalette::Active, QPalette::ToolTipText},      // 23 tooltip text
    {QPalette::Active, QPalette::ToolTipBase},      // 24 tooltip background
}};

const char* picturePath(platform::PictureId id) {
    switch (id) {
        case platform::PictureId::Skin:
            return ":/pelmora/skin.bmp";
        case platform::PictureId::Scale:
            return ":/pelmora/scale.bmp";
        case platform::PictureId::Icon:
            return ":/pelmora/pelmora.ico";
        case platform::PictureId::None:
            break;
    }
    return nullptr;
}

// One factor rounded to whole device pixels, or the text as it was when it is no number.
std::string wholeFactor(std::string_view text) {
    double factor = 0.0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, factor);
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(factor)) {
        return std::string(text);
    }
    return std::to_string(std::max(1LL, static_cast<long long>(std::floor(factor + 0.5))));
}

constexpr const char* kDefaultDialogFace = "Arial";
constexpr double kDefaultDialogPoints = 8.0;
constexpr double kPixelsPerPoint = 96.0 / 72.0;

}  // namespace

void registerPictures() {
    initialisePelmoraResources();
}

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::vector<QAction*> addRows(QMenu& menu, std::span<const core::PopupRow> rows) {
    std::vector<QAction*> actions;
    for (const core::PopupRow& row : rows) {
        actions.push_back(row.separator ? menu.addSeparator()
                                        : menu.addAction(toQString(row.caption)));
        showRow(*actions.back(), row);
    }
    return actions;
}

void showRow(QAction& action, const core::PopupRow& row) {
    if (!row.separator) {
        action.setEnabled(row.enabled);
        action.setCheckable(row.checked);
        action.setChecked(row.checked);
    }
}

QColor toQColor(platform::Colour colour, const QPalette& palette) {
    if (platform::isSystemColour(colour)) {
        const std::uint32_t index = colour & 0xFFu;
        if (index < kSystemColours.size()) {
            const auto [group, role] = kSystemColours[index];
            return palette.color(group, role);
        }
        return palette.color(QPalette::Active, QPalette::WindowText);
    }
    return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
                  static_cast<int>((colour >> 16) & 0xFFu));
}

QFont toQFont(const platform::FontDef& def) {
    QFont font(def.face.empty() ? QString::fromLatin1(kDefaultDialogFace) : toQString(def.face));
    const double points =
        def.points > 0.0f ? static_cast<double>(def.points) : kDefaultDialogPoints;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points * kPixelsPerPoint))));
    font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(def.weight / 10 * 10, 100, 900)));
    font.setItalic(def.italic);
    font.setUnderline(def.underline);
    font.setStrikeOut(def.strikeout);
    // Small text drawn in pixel-exact pairs stays crisp, as the skin's lettering expects.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

std::string wholeScaleFactors(std::string_view value) {
    std::string rounded;
    while (true) {
        const std::size_t semicolon = value.find(';');
        const std::string_view entry = value.substr(0, semicolon);
        // An entry is "factor" or "screen name=factor".
        const std::size_t equals = entry.rfind('=');
        const std::size_t start = equals == std::string_view::npos ? 0 : equals + 1;
        rounded.append(entry.substr(0, start));
        rounded.append(wholeFactor(entry.substr(start)));
        if (semicolon == std::string_view::npos) {
            return rounded;
        }
        rounded.push_back(';');
        value.remove_prefix(semicolon + 1);
    }
}

void useWholeScaleFactors() {
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // Qt prefers a policy from the environment to the program's; the other policies round too.
    if (qgetenv("QT_SCALE_FACTOR_ROUNDING_POLICY") == "PassThrough") {
        qputenv("QT_SCALE_FACTOR_ROUNDING_POLICY", "Round");
    }
    const auto putRounded = [](const char* name, const QByteArray& value) {
        qputenv(name, QByteArray::fromStdString(
                          wholeScaleFactors(std::string_view(value.constData(), value.size()))));
    };
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        putRounded("QT_SCALE_FACTOR", qgetenv("QT_SCALE_FACTOR"));
    }
    if (qEnvironmentVariableIsSet("QT_SCREEN_SCALE_FACTORS")) {
        putRounded("QT_SCREEN_SCALE_FACTORS", qgetenv("QT_SCREEN_SCALE_FACTORS"));
    }
}

QImage loadPicture(platform::PictureId id) {
    registerPictures();
    const char* path = picturePath(id);
    if (path == nullptr) {
        return {};
    }
    // Read as the format its name gives: guessing from the contents would load and ask every
    // image plugin installed, before the built-in reader of bitmaps gets its turn.
    const QString name = QString::fromLatin1(path);
    QImageReader reader(name, QFileInfo(name).suffix().toLatin1());
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (image.isNull()) {
        throw core::NativeFailure(core::Failed::Picture, std::string("cannot read ") + path);
    }
    return image;
}

QIcon loadIcon(platform::PictureId id) {
    registerPictures();
    const char* path = picturePath(id);
    if (path == nullptr) {
        return {};
    }
    QIcon icon(QString::fromLatin1(path));
    if (icon.isNull() || icon.availableSizes().isEmpty()) {
        // Fall back to the decoded image, so a file the icon engine cannot size still shows.
        icon = QIcon(QPixmap::fromImage(loadPicture(id)));
    }
    return icon;
}

}  // namespace pelmora::qt
