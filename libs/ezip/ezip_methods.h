#pragma once

#include <string>

namespace ezip {

// A zip compression method in words for the people who read the reason:
// its name and number, "PPMd(98)", or the number alone when it has no name.
inline std::string methodInWords(int method) {
    struct Named {
        int method;
        const char* name;
    };
    static constexpr Named names[] = {
        {1, "Shrink"},       {2, "Reduce"},    {3, "Reduce"},     {4, "Reduce"},
        {5, "Reduce"},       {6, "Implode"},   {8, "Deflate"},    {9, "Deflate64"},
        {10, "DCL Implode"}, {12, "BZip2"},    {14, "LZMA"},      {16, "IBM CMPSC"},
        {18, "IBM TERSE"},   {19, "IBM LZ77"}, {20, "Zstandard"}, {93, "Zstandard"},
        {94, "MP3"},         {95, "XZ"},       {96, "JPEG"},      {97, "WavPack"},
        {98, "PPMd"},        {99, "AES"},
    };
    for (const auto& named : names) {
        if (named.method == method) {
            return std::string(named.name) + "(" + std::to_string(method) + ")";
        }
    }
    return std::to_string(method);
}

} // namespace ezip
