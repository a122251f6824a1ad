#ifndef VORLIX_LOG_ESCAPE_H
#define VORLIX_LOG_ESCAPE_H

#include <QByteArray>

// One log entry a line: backslash, newline and tab are written as \\, \n
// and \t, so any text fits on one line and compares exactly.
inline QByteArray log_escape(const QByteArray &text)
{
    QByteArray out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

#endif
