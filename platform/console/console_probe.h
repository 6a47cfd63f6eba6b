// What the console shows, written down for a program that works it from outside as a person
// does (the real-display test). When LUMIVEL_CONSOLE_PROBE names a file, the console appends
// one JSON line after each change of the status bar or the scope tree, each window that opens
// or closes, each move or resize of its window and each click or key press it has handled:
// the visible windows (titles, frames, texts, the visible rows of every list and tree with
// their places on the screen, menu items), the focused widget, and the longest stall of the
// console's thread since the line before.
#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <memory>

class QLabel;
class QMainWindow;

namespace lumivel::console {

class ConsoleProbe final : public QObject {
public:
    // Null unless the variable names a file that can be opened for appending (never through a
    // link); a probe that cannot write is none, and says so once on stderr.
    static std::unique_ptr<ConsoleProbe> FromEnvironment(QMainWindow* window, QLabel* status);
    ~ConsoleProbe() override;

    // Something the window changed itself: a line follows once the event loop has drawn it.
    void changed(const char* what);
    // The last line, when the window closes: the worst stall, nothing of the windows.
    void finish();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    ConsoleProbe(QMainWindow* window, QLabel* status, int fd);
    void writeLine();
    void write(const QJsonObject& line);

    QMainWindow* m_window;
    QLabel* m_status;
    int m_fd;
    int m_tick = 0;
    int m_seq = 0;
    bool m_pending = false;
    bool m_finished = false;
    QStringList m_reasons;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_stall = 0;       // since the line before
    qint64 m_worstStall = 0;  // since the probe began
};

}  // namespace lumivel::console
