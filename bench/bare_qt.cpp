// The floor Pelmora's Linux program is held against: the least a Qt 6 program of the same
// shape does. A frameless 208 x 51 tool window painted in one flat colour, a tray icon with a
// tip, and a 30 ms timer of the same kind as the program's whose tick does nothing but count.
// With --text it also draws three lines of text, the toolkit's own cost of showing any.
//
//     bare_qt [--at X,Y] [--counter FILE] [--text]
//
// --at places the window (its top-left corner on the screen); --counter names a file the
// tick count is kept in, as one little-endian 64-bit number in shared memory: the bench
// reads it without costing the program a system call.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The colour both bare programs fill their window with; the bench recognises a first paint
// by it.
constexpr QRgb kFill = qRgb(0x1f, 0x6b, 0x2a);

class BareWindow final : public QWidget {
  public:
    explicit BareWindow(bool text)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), text_(text) {
        setFixedSize(208, 51);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setWindowTitle(QStringLiteral("bare_qt"));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(kFill));
        if (text_) {
            QFont font = painter.font();
            font.setBold(true);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(QRect(4, 1, 200, 16), QStringLiteral("Total RAM = 24 GB"));
            painter.drawText(QRect(4, 17, 200, 16), QStringLiteral("Free RAM = 23 GB"));
            painter.drawText(QRect(4, 33, 200, 16), QStringLiteral("Usage = 3 %"));
        }
    }

  private:
    bool text_;
};

// The tick counter: in a shared mapping of the counter file, or in plain memory.
std::uint64_t* mapCounter(const char* path) {
    static std::uint64_t local = 0;
    if (path == nullptr) {
        return &local;
    }
    const int fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, sizeof(std::uint64_t)) != 0) {
        std::perror(path);
        std::exit(2);
    }
    void* map = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        std::perror("mmap");
        std::exit(2);
    }
    return static_cast<std::uint64_t*>(map);
}

}  // namespace

int main(int argc, char* argv[]) {
    const char* counterPath = nullptr;
    bool text = false;
    int x = -1;
    int y = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--at") == 0 && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%d,%d", &x, &y) != 2) {
                std::fprintf(stderr, "bare_qt: --at takes X,Y\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--counter") == 0 && i + 1 < argc) {
            counterPath = argv[++i];
        } else if (std::strcmp(argv[i], "--text") == 0) {
            text = true;
        } else {
            std::fprintf(stderr, "usage: bare_qt [--at X,Y] [--counter FILE] [--text]\n");
            return 2;
        }
    }
    std::uint64_t* ticks = mapCounter(counterPath);

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    BareWindow window(text);
    if (x >= 0 && y >= 0) {
        window.move(x, y);
    }
    window.show();

    QPixmap iconPixels(32, 32);
    iconPixels.fill(QColor(kFill));
    QSystemTrayIcon tray{QIcon(iconPixels)};
    tray.setToolTip(QStringLiteral("bare_qt"));
    tray.show();

    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [ticks] { ++*ticks; });
    timer.start(30);

    return QApplication::exec();
}
