#include "passwordprompt.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

std::optional<QString> askPassword(const QString &prompt)
{
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    std::fprintf(stderr, "%s", qPrintable(prompt));
    std::fflush(stderr);
    termios shown{};
    const bool quiet = tcgetattr(STDIN_FILENO, &shown) == 0;
    if (quiet) {
        termios hidden = shown;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line.push_back(char(c));
    if (quiet)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &shown);
    std::fprintf(stderr, "\n");
    if (line.empty())
        return std::nullopt;
    return QString::fromLocal8Bit(line);
}
