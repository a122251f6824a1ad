#include "common/format_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

void format_text(char *buf, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int needed = vsnprintf(buf, size, format, args);
    va_end(args);
    if (needed >= 0 && static_cast<size_t>(needed) >= size)
        trim_partial_character(buf);
}

void trim_partial_character(char *text)
{
    const size_t len = strlen(text);
    // Step back over up to three continuation bytes to what should be the
    // sequence's first byte.
    size_t start = len;
    while (start > 0 && len - start < 3 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return;
    const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    const size_t want = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (want != 0 && len - (start - 1) < want)
        text[start - 1] = '\0';
}

bool printf_conversions(const char *format, std::vector<std::string> *conversions)
{
    conversions->clear();
    for (const char *p = format; *p != '\0'; ++p) {
        if (*p != '%')
            continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        const char *q = p + 1;
        q += strspn(q, "-+ #0'");
        q += strspn(q, "0123456789*");
        if (*q == '.') {
            ++q;
            q += strspn(q, "0123456789*");
        }
        q += strspn(q, "hlLqjzt");
        if (*q == '\0' || strchr("diouxXeEfFgGaAcsp", *q) == nullptr)
            return false; // incomplete, unknown, positional ($) or %n
        conversions->push_back(std::string(p, static_cast<size_t>(q - p + 1)));
        p = q;
    }
    return true;
}

bool same_conversions(const char *source, const char *translation)
{
    std::vector<std::string> want, got;
    return printf_conversions(source, &want) && printf_conversions(translation, &got) && want == got;
}
