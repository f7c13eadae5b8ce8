#include "tests_support/block_check.h"

#include <map>

#include "output/formatting.h"

namespace norvale::test {

std::string BlockHeading(const std::string& tag, int block) { return tag + " block " + std::to_string(block); }

namespace {

std::string EntryText(const std::string& tag, int block, int line) {
    return tag + " block " + std::to_string(block) + " line " + std::to_string(line);
}

}  // namespace

std::string BlockData(const std::string& tag, int block) {
    std::string data;
    for (int line = 0; line < kLinesPerBlock; ++line) data += EntryText(tag, block, line) + "\r\n";
    return data;
}

std::string CheckBlocks(const std::string& fileText, const std::vector<std::string>& tags, int blocksPerTag) {
    const auto lines = SplitLines(fileText);
    std::map<std::string, int> nextBlock;
    for (const auto& tag : tags) nextBlock[tag] = 0;
    size_t i = 0;
    while (i < lines.size()) {
        const std::string& heading = lines[i];
        const auto space = heading.find(' ');
        const std::string tag = heading.substr(0, space);
        const auto found = nextBlock.find(tag);
        if (found == nextBlock.end()) return "unexpected line " + std::to_string(i) + ": " + heading;
        const int block = found->second;
        if (heading != BlockHeading(tag, block)) return "line " + std::to_string(i) + " is " + heading;
        for (int line = 0; line < kLinesPerBlock; ++line) {
            const size_t at = i + 1 + static_cast<size_t>(line);
            if (at >= lines.size() || lines[at] != "  " + EntryText(tag, block, line)) {
                return "block " + heading + " broken at line " + std::to_string(at);
            }
        }
        ++found->second;
        i += 1 + kLinesPerBlock;
    }
    for (const auto& [tag, count] : nextBlock) {
        if (count != blocksPerTag) return tag + " has " + std::to_string(count) + " blocks";
    }
    return {};
}

}  // namespace norvale::test
