// The text console of the station: a curses screen when standard output is a terminal,
// otherwise plain lines on standard output (a service, a pipe, CI). Plain lines that go
// straight to the systemd journal are marked as such, so that they can carry the journal's
// priority prefix instead of a time stamp. Whatever is shown is
// reduced to printable ASCII first, because file names and messages partly come from the
// camera computers.
#pragma once

#include <QString>

#include <memory>
#include <string>

class console {
public:
    virtual ~console() = default;
    // True when the console draws a screen (curses); false for plain lines.
    virtual bool isScreen() const = 0;
    // True when the plain lines go straight to the systemd journal.
    virtual bool isJournal() const { return false; }
    virtual void clear() = 0;
    // Draws `text` at `row`, `col`; the text is already printable.
    virtual void print(int row, int col, const std::string& text) = 0;
    virtual void refresh() = 0;
    // One line of the plain log (not drawn on a screen).
    virtual void writeLine(const std::string& text) = 0;
    // True once after the terminal was resized.
    virtual bool takeResize() { return false; }
};

// Opens the process's console: curses only when standard output is a terminal, TERM is set
// and known, and the terminal can be initialised; plain lines otherwise, marked as journal
// lines when standard output is the service's journal stream.
std::unique_ptr<console> openConsole();

// Gives the terminal back (echo, cursor, modes). Safe to call more than once and when no
// screen was opened.
void restoreConsole();

// Every byte outside printable ASCII becomes "?"; a final line end is dropped.
std::string printableAscii(const QString& text);
std::string printableAscii(const std::string& text);
