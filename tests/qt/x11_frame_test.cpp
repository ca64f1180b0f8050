// The frame of a window on an X display, as a window manager frames it step by step: first an
// empty frame window the manager has yet to size, then its word on the frame's sides. Run on
// an X display of its own without a window manager, which this test plays.
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWindow>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "backend_fixture.h"

namespace pelmora::qt::test {
namespace {

constexpr platform::FormDef kFramedForm = [] {
    platform::FormDef def{};
    def.name = "frmFramed";
    def.caption = "Framed";
    def.clientWidth = 3120;  // 208 x 51 pixels
    def.clientHeight = 765;
    return def;
}();
constexpr platform::FormLayout kFramedLayout{kFramedForm, {}, {}};

xcb_atom_t xAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
}

class X11Frame : public BackendTest {
  protected:
    RecordingEvents events;
};

TEST_F(X11Frame, AWindowIsPlacedByItsOwnRectUntilTheManagerTellsItsFrame) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr) << "runs on an X display";
    xcb_connection_t* c = x11->connection();
    platform::Form& form = runtime().load(kFramedLayout, events);
    form.show(platform::ShowMode::Modeless);
    QWidget& shown = widget(form);
    ASSERT_TRUE(waitFor([&] { return shown.isVisible() && shown.windowHandle()->isExposed(); }));
    const auto xid = static_cast<xcb_window_t>(shown.winId());
    const QSize size = shown.size();

    // The manager's first step: a frame window of 1 x 1 pixel that holds the window, moved to
    // where the window goes, and word of that place sent to the window.
    const QPoint at(120, 90);
    const xcb_window_t frame = xcb_generate_id(c);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, frame, screen->root, static_cast<int16_t>(at.x()),
                      static_cast<int16_t>(at.y()), 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_reparent_window(c, xid, frame, 0, 0);
    xcb_map_window(c, frame);
    xcb_configure_notify_event_t told{};
    told.response_type = XCB_CONFIGURE_NOTIFY;
    told.event = xid;
    told.window = xid;
    told.x = static_cast<int16_t>(at.x());
    told.y = static_cast<int16_t>(at.y());
    told.width = static_cast<uint16_t>(size.width());
    told.height = static_cast<uint16_t>(size.height());
    xcb_send_event(c, 0, xid, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&told));
    xcb_flush(c);
    ASSERT_TRUE(waitFor([&] { return shown.pos() == at; })) << "the window heard of its place";

    auto& native = window(form);
    const core::PixelRect client{at.x(), at.y(), size.width(), size.height()};
    EXPECT_EQ(native.frame(), client) << "no frame the manager has not told";

    // Then the manager says how far its frame reaches: left, right, top, bottom.
    const std::uint32_t sides[] = {2, 3, 20, 4};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xid, xAtom(c, "_NET_FRAME_EXTENTS"),
                        XCB_ATOM_CARDINAL, 32, 4, sides);
    xcb_flush(c);
    const core::PixelRect framed{at.x() - 2, at.y() - 20, size.width() + 5, size.height() + 24};
    EXPECT_TRUE(waitFor([&] { return native.frame() == framed; }));
    EXPECT_EQ(native.frame(), framed);

    // The manager goes: the window is back on the root where it was, the frame gone.
    xcb_reparent_window(c, xid, screen->root, static_cast<int16_t>(at.x()),
                        static_cast<int16_t>(at.y()));
    xcb_destroy_window(c, frame);
    xcb_flush(c);
}

}  // namespace
}  // namespace pelmora::qt::test
