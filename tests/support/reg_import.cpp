#include "tests/support/reg_import.h"

#include <string>

#include "platform/owned_key.h"

namespace regfile {
namespace {

// Room for any key name: 255 characters of up to four bytes each in the
// ANSI code page, and the terminating zero.
constexpr DWORD kNameCapacity = 255 * 4 + 1;

// The predefined handle of a root.
HKEY RootHandle(Root root) {
  switch (root) {
    case Root::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case Root::kCurrentUser:
      return HKEY_CURRENT_USER;
    case Root::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case Root::kUsers:
      return HKEY_USERS;
    case Root::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return nullptr;
}

// The key that the latest operations went to, kept open for the values
// that follow its key line.
class CurrentKey {
 public:
  LONG Select(Root root, const std::string& path) {
    if (key_.Get() != nullptr && root == root_ && path == path_) return ERROR_SUCCESS;
    const LONG status = RegCreateKeyExA(RootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, key_.Out(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    root_ = root;
    path_ = path;
    return ERROR_SUCCESS;
  }

  HKEY Handle() const { return key_.Get(); }

  void Close() { key_.Reset(); }

 private:
  OwnedKey key_;
  Root root_ = Root::kLocalMachine;
  std::string path_;
};

LONG Apply(const Operation& operation, CurrentKey& key) {
  switch (operation.Kind) {
    case OperationKind::kCreateKey:
      return key.Select(operation.KeyRoot, operation.KeyPath);
    case OperationKind::kDeleteKey:
      key.Close();
      return DeleteKeyTree(RootHandle(operation.KeyRoot), operation.KeyPath);
    case OperationKind::kSetValue: {
      const LONG status = key.Select(operation.KeyRoot, operation.KeyPath);
      if (status != ERROR_SUCCESS) return status;
      return RegSetValueExA(key.Handle(), operation.ValueName.c_str(), 0, operation.Type,
                            reinterpret_cast<const BYTE*>(operation.Data.data()),
                            static_cast<DWORD>(operation.Data.size()));
    }
    case OperationKind::kDeleteValue: {
      const LONG status = key.Select(operation.KeyRoot, operation.KeyPath);
      if (status != ERROR_SUCCESS) return status;
      const LONG deleted = RegDeleteValueA(key.Handle(), operation.ValueName.c_str());
      return deleted == static_cast<LONG>(ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : deleted;
    }
  }
  return static_cast<LONG>(ERROR_INVALID_PARAMETER);
}

}  // namespace

LONG DeleteKeyTree(HKEY parent, const std::string& path) {
  OwnedKey key;
  LONG status = RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, key.Out());
  if (status == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  // Always the first subkey: each one is gone before the next call.
  for (;;) {
    char name[kNameCapacity];
    DWORD capacity = kNameCapacity;
    status = RegEnumKeyExA(key.Get(), 0, name, &capacity, nullptr, nullptr, nullptr, nullptr);
    if (status == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) break;
    if (status == ERROR_SUCCESS) status = DeleteKeyTree(key.Get(), name);
    if (status != ERROR_SUCCESS) return status;
  }
  key.Reset();
  return RegDeleteKeyA(parent, path.c_str());
}

std::optional<ImportFailure> ImportOperations(const std::vector<Operation>& operations) {
  CurrentKey key;
  for (const Operation& operation : operations) {
    const LONG status = Apply(operation, key);
    if (status != ERROR_SUCCESS) return ImportFailure{operation.Line, status};
  }
  return std::nullopt;
}

}  // namespace regfile
