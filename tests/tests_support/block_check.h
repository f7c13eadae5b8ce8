#pragma once

// Writers tag their blocks; the check finds every block once, whole and
// uninterrupted, and each writer's blocks in the order it sent them.

#include <string>
#include <vector>

namespace norvale::test {

inline constexpr int kLinesPerBlock = 3;

std::string BlockHeading(const std::string& tag, int block);
std::string BlockData(const std::string& tag, int block);  // kLinesPerBlock lines, CR LF between

// Empty when the file holds exactly the blocks of every tag, else what is wrong.
std::string CheckBlocks(const std::string& fileText, const std::vector<std::string>& tags, int blocksPerTag);

}  // namespace norvale::test
