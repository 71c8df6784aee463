// The reader shared by every text configuration file of the station: lines of the form
// "key [description] value" with "#" comments, turned into an ordered list of entries.
// It knows no key; its users walk the entries and interpret them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct configEntry {
    std::string m_key;         // first word of the line, lower case
    std::string m_value;       // last word of the line, as written
    std::string m_description; // the words between them; empty when there are none
};

// Cuts `line` in place: 0 with `key`, `value` and `description` (null when there is none)
// pointing into it, or -1 when the line holds no entry.
typedef int (*configLineParser)(char* line, char** key, char** value, char** description);

struct configList {
    std::vector<configEntry> m_entries; // in file order
    configLineParser m_parseLine = nullptr;
};

// Empties the list and installs the line parser; 0, or -1.
int createConfigList(configList* list);
// Replaces the list's entries by those of `stream` (opened and closed by the caller).
// 0, or -1 with an empty list when the stream cannot be read completely.
int readConfigList(configList* list, FILE* stream);
// Creates `list` and reads the file at `path` into it: 0, or -1 (the list empty) when the file
// cannot be opened or read completely.
int pReadConfigFile(const char* path, configList* list);
// Frees every entry and uninstalls the operations: the list can no longer be read into.
void destroyConfigList(configList* list);

// 0 when the entry's key is exactly `name` (keys are lower case), else -1.
int matchConfigKey(const configEntry* entry, const char* name);

int parseConfigLine(char* line, char** key, char** value, char** description);
std::string formatConfigEntry(const configEntry& entry);

// The leading decimal number of a value, 0 when there is none (as atoi, but a number beyond
// the range saturates instead of being undefined).
long long configInteger(const char* value);
// The leading real number of a value, 0 when there is none (as atof).
double configReal(const char* value);

// Writes "`function` : error : invalid combination `key` : `value` -> ignoring " to standard
// error: the one line every configuration reader gives for a value it refuses.
void reportInvalidCombination(const char* function, const char* key, const char* value);
