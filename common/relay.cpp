#include "common/relay.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

// Write end of the pipe to our parent, in a process started by run_child.
int relay_fd = -1;

// Each record is a tag byte, its text and a NUL, which keeps records apart.
const char message_tag = 'M';
const char exec_error_tag = 'E';
const char answer_tag = 'A';
const char hex_digits[] = "0123456789abcdef";

void write_all(int fd, const char *data, size_t len)
{
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // the parent is gone; nobody is left to tell
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
}

void send_record(char tag, const char *text)
{
    std::string record(1, tag);
    record += text;
    write_all(relay_fd, record.c_str(), record.size() + 1);
}

} // namespace

void relay_attach(int fd)
{
    relay_fd = fd;
}

bool relay_active()
{
    return relay_fd >= 0;
}

bool relay_send_message(const char *text)
{
    if (!relay_active())
        return false;
    send_record(message_tag, text ? text : "");
    return true;
}

void relay_send_exec_error(int err)
{
    if (!relay_active())
        return;
    char number[16];
    snprintf(number, sizeof number, "%d", err);
    send_record(exec_error_tag, number);
}

void relay_send_answer(const std::string &answer)
{
    if (!relay_active())
        return;
    // Records end at a NUL, which an answer may hold: it travels as hex.
    std::string hex;
    hex.reserve(answer.size() * 2);
    for (unsigned char c : answer) {
        hex += hex_digits[c >> 4];
        hex += hex_digits[c & 15];
    }
    send_record(answer_tag, hex.c_str());
}

namespace {

int hex_value(char c)
{
    const char *at = strchr(hex_digits, c);
    return c != '\0' && at != nullptr ? static_cast<int>(at - hex_digits) : -1;
}

bool decode_hex(const std::string &hex, std::string *out)
{
    if (hex.size() % 2 != 0)
        return false;
    out->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = hex_value(hex[i]), low = hex_value(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        *out += static_cast<char>(high * 16 + low);
    }
    return true;
}

} // namespace

RelayReport relay_decode(const std::string &bytes)
{
    RelayReport report;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t end = bytes.find('\0', pos);
        if (end == std::string::npos)
            end = bytes.size();
        if (end == pos) { // no tag: nothing a child of ours writes
            pos = end + 1;
            continue;
        }
        const char tag = bytes[pos];
        const std::string text = bytes.substr(pos + 1, end - pos - 1);
        if (tag == message_tag)
            report.messages.push_back(text);
        else if (tag == exec_error_tag)
            report.exec_errno = atoi(text.c_str());
        else if (tag == answer_tag && end < bytes.size()) // cut short: no answer
            report.answered = decode_hex(text, &report.answer);
        pos = end + 1;
    }
    return report;
}
