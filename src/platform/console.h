// The text console of the station: a curses screen when standard output is a terminal,
// otherwise plain lines on standard output (a service, a pipe, CI). Whatever is shown is
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
// and known, and the terminal can be initialised; plain lines otherwise.
std::unique_ptr<console> openConsole();

// Gives the terminal back (echo, cursor, modes). Safe to call more than once and when no
// screen was opened.
void restoreConsole();

// Every byte outside printable ASCII becomes "?"; a final line end is dropped.
std::string printableAscii(const QString& text);
std::string printableAscii(const std::string& text);
