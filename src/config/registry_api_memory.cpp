// The in-memory registry of the native build: a tree of keys with named,
// typed values, case-insensitive names, and the result codes of the real one.

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/text.h"
#include "config/registry_api.h"

namespace norvale {

namespace {

// Limits of the real registry that the store enforces the same way.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

struct StoredValue {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
};

struct Node {
    std::map<std::string, std::unique_ptr<Node>> children;
    std::map<std::string, StoredValue> values;
};

std::mutex& StoreGuard() {
    static std::mutex guard;
    return guard;
}

std::vector<std::string> PathParts(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(AsciiLowerCase(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(AsciiLowerCase(part));
    return parts;
}

// Where Windows keeps a 32-bit program's own part of a machine's software keys.
std::vector<std::string> PathParts(const std::string& path, RegView view) {
    std::vector<std::string> parts = PathParts(path);
    if (view == RegView::Bits32 && !parts.empty() && parts.front() == "software") {
        parts.insert(parts.begin() + 1, "wow6432node");
    }
    return parts;
}

bool PathTooLong(const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
        if (part.size() > kMaxKeyNameLength) return true;
    }
    return false;
}

}  // namespace

struct MemoryRegKey {
    Node* node = nullptr;
    bool predefined = false;
};

RegKey RegCurrentUser() {
    static Node root;
    static MemoryRegKey key{&root, true};
    return &key;
}

RegKey RegLocalMachine() {
    static Node root;
    static MemoryRegKey key{&root, true};
    return &key;
}

long RegApiCreateKey(RegKey root, const std::string& subkey, RegAccess, RegKey* key, RegView view) {
    *key = nullptr;
    if (root == nullptr) return regcode::kInvalidHandle;
    const auto parts = PathParts(subkey, view);
    if (PathTooLong(parts)) return regcode::kInvalidParameter;
    std::lock_guard lock(StoreGuard());
    Node* node = root->node;
    for (const auto& part : parts) {
        auto& child = node->children[part];
        if (!child) child = std::make_unique<Node>();
        node = child.get();
    }
    *key = new MemoryRegKey{node, false};
    return regcode::kSuccess;
}

long RegApiOpenKey(RegKey root, const std::string& subkey, RegKey* key, RegView view) {
    *key = nullptr;
    if (root == nullptr) return regcode::kInvalidHandle;
    std::lock_guard lock(StoreGuard());
    Node* node = root->node;
    for (const auto& part : PathParts(subkey, view)) {
        const auto found = node->children.find(part);
        if (found == node->children.end()) return regcode::kFileNotFound;
        node = found->second.get();
    }
    *key = new MemoryRegKey{node, false};
    return regcode::kSuccess;
}

long RegApiQueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) {
    if (key == nullptr) return regcode::kInvalidHandle;
    std::lock_guard lock(StoreGuard());
    const auto found = key->node->values.find(AsciiLowerCase(name));
    if (found == key->node->values.end()) return regcode::kFileNotFound;
    const StoredValue& value = found->second;
    if (type != nullptr) *type = value.type;
    const auto stored = static_cast<uint32_t>(value.bytes.size());
    if (data != nullptr) {
        if (*size < stored) {
            *size = stored;
            return regcode::kMoreData;
        }
        std::copy(value.bytes.begin(), value.bytes.end(), data);
    }
    *size = stored;
    return regcode::kSuccess;
}

long RegApiSetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
    if (key == nullptr) return regcode::kInvalidHandle;
    if (name.size() > kMaxValueNameLength) return regcode::kInvalidParameter;
    std::lock_guard lock(StoreGuard());
    key->node->values[AsciiLowerCase(name)] = StoredValue{type, std::vector<uint8_t>(data, data + size)};
    return regcode::kSuccess;
}

long RegApiDeleteTree(RegKey root, const std::string& subkey) {
    if (root == nullptr) return regcode::kInvalidHandle;
    auto parts = PathParts(subkey);
    if (parts.empty()) return regcode::kInvalidParameter;
    const std::string last = parts.back();
    parts.pop_back();
    std::lock_guard lock(StoreGuard());
    Node* parent = root->node;
    for (const auto& part : parts) {
        const auto found = parent->children.find(part);
        if (found == parent->children.end()) return regcode::kFileNotFound;
        parent = found->second.get();
    }
    return parent->children.erase(last) == 0 ? regcode::kFileNotFound : regcode::kSuccess;
}

long RegApiCloseKey(RegKey key) {
    if (key == nullptr) return regcode::kInvalidHandle;
    if (!key->predefined) delete key;
    return regcode::kSuccess;
}

}  // namespace norvale
