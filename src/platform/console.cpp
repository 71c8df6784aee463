#include "platform/console.h"

#include "platform/journalStream.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

SCREEN* g_screen = nullptr;
volatile std::sig_atomic_t g_resized = 0;

extern "C" void onWindowChange(int) {
    g_resized = 1;
}

class cursesConsole : public console {
public:
    bool isScreen() const override { return true; }
    void clear() override { ::clear(); }
    void print(int row, int col, const std::string& text) override {
        mvprintw(row, col, "%s", text.c_str());
    }
    void refresh() override {
        echo();
        ::refresh();
    }
    void writeLine(const std::string&) override {}
    bool takeResize() override {
        if (!g_resized)
            return false;
        g_resized = 0;
        struct winsize ws;
        if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
            resizeterm(ws.ws_row, ws.ws_col);
        return true;
    }
};

class plainConsole : public console {
public:
    explicit plainConsole(bool journal) : m_journal(journal) {}
    bool isScreen() const override { return false; }
    bool isJournal() const override { return m_journal; }
    void clear() override {}
    void print(int, int, const std::string&) override {}
    void refresh() override {}
    void writeLine(const std::string& text) override {
        std::fputs(text.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    bool m_journal;
};

bool terminalUsable() {
    if (!isatty(STDOUT_FILENO))
        return false;
    const char* term = std::getenv("TERM");
    return term && *term && std::strcmp(term, "dumb") != 0;
}

} // namespace

std::unique_ptr<console> openConsole() {
    if (terminalUsable()) {
        // newterm, unlike initscr, reports an unknown terminal instead of ending the process.
        g_screen = newterm(std::getenv("TERM"), stdout, stdin);
        if (g_screen) {
            set_term(g_screen);
            struct sigaction sa = {};
            sa.sa_handler = onWindowChange;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            sigaction(SIGWINCH, &sa, nullptr);
            cbreak();
            noecho();
            nodelay(stdscr, TRUE);
            keypad(stdscr, TRUE);
            return std::make_unique<cursesConsole>();
        }
    }
    return std::make_unique<plainConsole>(standardOutputIsJournal());
}

void restoreConsole() {
    if (g_screen && !isendwin())
        endwin();
}

std::string printableAscii(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t n = text.size();
    if (n > 0 && text[n - 1] == '\n')
        --n;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        out.push_back((c >= 0x20 && c <= 0x7e) ? char(c) : '?');
    }
    return out;
}

std::string printableAscii(const QString& text) {
    return printableAscii(text.toLatin1().toStdString());
}
