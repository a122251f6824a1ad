#include "platform/first_line.h"

#include <stdio.h>
#include <string.h>

std::string first_line(const std::string &path)
{
    std::string value;
    if (FILE *f = fopen(path.c_str(), "re")) {
        char line[4096];
        if (fgets(line, sizeof line, f) != nullptr) {
            line[strcspn(line, "\n")] = '\0';
            value = line;
        }
        fclose(f);
    }
    return value;
}
