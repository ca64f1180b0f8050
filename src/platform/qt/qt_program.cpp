#include "platform/qt/qt_program.h"

#include <QApplication>
#include <string>

#include "app/identity.h"
#include "platform/qt/qt_style.h"

namespace pelmora::qt {

namespace {

core::Identity builtIdentity() {
    namespace identity = app::identity;
    return {std::string(identity::kTitle), identity::kMajor, identity::kMinor, identity::kRevision};
}

}  // namespace

void describeApplication() {
    QApplication::setApplicationName(QStringLiteral("pelmora"));
    QGuiApplication::setDesktopFileName(toQString(app::identity::kAppId));
    // The program lives in its tray icon as much as in its window.
    QApplication::setQuitOnLastWindowClosed(false);
}

Program::Program(PlatformOptions options, const OsOptions& osOptions,
                 const core::Interposer& between)
    : platform_(std::move(options)),
      driven_(platform_, between),
      runtime_(driven_.get(), builtIdentity()),
      os_(platform_, runtime_, osOptions) {}

bool Program::start(core::EntryPoint main) {
    // Without a window the event loop would never end: Main has reported why there is none.
    return core::startProgram(runtime_, os_, main) && platform_.windowCount() > 0;
}

}  // namespace pelmora::qt
