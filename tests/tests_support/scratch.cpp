#include "tests_support/scratch.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/registry_values.h"
#include "tests_support/paths.h"

namespace norvale::test {

ScratchDirectory::ScratchDirectory() {
    const auto path = std::filesystem::temp_directory_path() / UniqueTestName("norvale_test");
    std::filesystem::create_directories(path);
    path_ = path.string();
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDirectory::PathOf(const std::string& name) const {
    return (std::filesystem::path(path_) / name).string();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

ScratchSettings::ScratchSettings() {
    location_.subkey = "Software\\brantwick\\NorvaleTests\\" + UniqueTestName("settings");
}

ScratchSettings::~ScratchSettings() { RegApiDeleteTree(location_.root, location_.subkey); }

void ScratchSettings::Set(const std::string& name, const std::string& value) {
    WriteRegString(location_.root, location_.subkey, name, value);
}

ScratchStorePath::ScratchStorePath() : path_("brantwick\\NorvaleTests\\" + UniqueTestName("store")) {}

ScratchStorePath::~ScratchStorePath() {
    for (RegKey hive : {RegCurrentUser(), RegLocalMachine()}) RegApiDeleteTree(hive, "SOFTWARE\\" + path_);
}

}  // namespace norvale::test
