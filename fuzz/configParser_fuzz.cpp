// The configuration parser on arbitrary text: every station configuration, settings file and
// camera parameter file goes through it. Each entry it gives is formatted back and parsed
// again, and must come back as the same entry.
#include "fuzzSupport.h"

#include "config/configParser.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!stream)
        return 0;
    configList list;
    createConfigList(&list);
    readConfigList(&list, stream);
    std::fclose(stream);
    for (const configEntry& entry : list.m_entries) {
        configInteger(entry.m_value.c_str());
        configReal(entry.m_value.c_str());
        std::string text = formatConfigEntry(entry);
        std::vector<char> line(text.begin(), text.end());
        line.push_back('\0');
        char* key = nullptr;
        char* value = nullptr;
        char* description = nullptr;
        if (parseConfigLine(line.data(), &key, &value, &description) != 0 || entry.m_key != key ||
            entry.m_value != value)
            std::abort();
    }
    destroyConfigList(&list);
    return 0;
}
