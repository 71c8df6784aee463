#include "config/configParser.h"

#include "log/messageLog.h"

#include "platform/ownFile.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const int CONFIG_LINE_BUFFER = 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Letters, digits and punctuation: the characters a value is made of.
bool isWordChar(char c) {
    unsigned char u = (unsigned char)c;
    return u > 0x20 && u < 0x7f;
}

} // namespace

int createConfigList(configList* list) {
    if (!list)
        return -1;
    list->m_entries.clear();
    list->m_parseLine = parseConfigLine;
    return 0;
}

int readConfigList(configList* list, FILE* stream) {
    if (!list)
        return -1;
    list->m_entries.clear();
    if (!stream || !list->m_parseLine)
        return -1;

    // Lines are read through a buffer of 1024 characters: a longer line comes in pieces of
    // at most 1023 characters, each taken as a line of its own.
    int result = 0;
    char line[CONFIG_LINE_BUFFER];
    while (std::fgets(line, sizeof line, stream)) {
        char* key = nullptr;
        char* value = nullptr;
        char* description = nullptr;
        if (list->m_parseLine(line, &key, &value, &description) != 0)
            continue;
        try {
            list->m_entries.push_back({key, value, description ? description : ""});
        } catch (const std::bad_alloc&) {
            result = -1;
        }
    }
    if (std::ferror(stream) && !std::feof(stream)) {
        logToStandardError(severity::error, errorKind::configuration,
                           QStringLiteral("error reading configuration file -> aborting\n"));
        result = -1;
    }
    if (result != 0)
        list->m_entries.clear();
    return result;
}

int pReadConfigFile(const char* path, configList* list) {
    if (createConfigList(list) != 0)
        return -1;
    FILE* file = path ? openConfigFile(QString::fromLocal8Bit(path)) : nullptr;
    if (!file)
        return -1;
    int result = readConfigList(list, file);
    std::fclose(file);
    return result;
}

void destroyConfigList(configList* list) {
    if (!list)
        return;
    std::vector<configEntry>().swap(list->m_entries);
    list->m_parseLine = nullptr;
}

int matchConfigKey(const configEntry* entry, const char* name) {
    if (!entry || !name)
        return -1;
    return entry->m_key == name ? 0 : -1;
}

int parseConfigLine(char* line, char** key, char** value, char** description) {
    if (!line || !key || !value || !description)
        return -1;

    // The comment, or else the line end, is where the line is cut.
    char* cut = std::strchr(line, '#');
    if (!cut)
        cut = std::strchr(line, '\n');
    if (!cut)
        cut = line + std::strlen(line);
    if (cut == line)
        return -1;
    while (cut > line && isBlank(cut[-1]))
        --cut;
    *cut = '\0';

    char* keyStart = line;
    while (isBlank(*keyStart))
        ++keyStart;
    if (*keyStart == '\0')
        return -1;
    char* keyEnd = keyStart;
    while (*keyEnd != '\0' && !isBlank(*keyEnd))
        ++keyEnd;
    if (*keyEnd == '\0')
        return -1;
    *keyEnd = '\0';
    for (char* c = keyStart; c < keyEnd; ++c)
        if (*c >= 'A' && *c <= 'Z')
            *c = char(*c - 'A' + 'a');

    char* valueStart = cut;
    while (valueStart > keyEnd + 1 && isWordChar(valueStart[-1]))
        --valueStart;
    if (valueStart == cut)
        return -1;
    valueStart[-1] = '\0';

    char* descStart = keyEnd + 1;
    char* descEnd = valueStart - 1;
    while (descStart < descEnd && isBlank(*descStart))
        ++descStart;
    while (descEnd > descStart && isBlank(descEnd[-1]))
        --descEnd;
    *descEnd = '\0';

    *key = keyStart;
    *value = valueStart;
    *description = descStart < descEnd ? descStart : nullptr;
    return 0;
}

std::string formatConfigEntry(const configEntry& entry) {
    std::string line = entry.m_key;
    if (!entry.m_description.empty())
        line += ' ' + entry.m_description;
    return line + ' ' + entry.m_value;
}

long long configInteger(const char* value) {
    return value ? std::strtoll(value, nullptr, 10) : 0;
}

double configReal(const char* value) {
    return value ? std::strtod(value, nullptr) : 0.0;
}

void reportInvalidCombination(const char* function, const char* key, const char* value) {
    logToStandardError(severity::error, errorKind::configuration,
                       QStringLiteral("%1 : error : invalid combination %2 : %3 -> ignoring \n")
                           .arg(QString::fromLocal8Bit(function), QString::fromLocal8Bit(key),
                                QString::fromLocal8Bit(value)));
}
