// A registry handle with one owner, closed with RegCloseKey when the owner
// lets go of it: when it is reset, assigned or destroyed. Predefined roots
// may be held too; closing one changes nothing.
#pragma once

#include <utility>

#include "platform/windows_api.h"

class OwnedKey {
 public:
  OwnedKey() = default;
  explicit OwnedKey(HKEY key) : key_(key) {}
  OwnedKey(OwnedKey&& other) noexcept : key_(other.Release()) {}
  OwnedKey& operator=(OwnedKey&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;
  ~OwnedKey() { Reset(); }

  HKEY Get() const { return key_; }

  // For the out-parameter of a call that opens a key: what was held is
  // closed first.
  HKEY* Out() {
    Reset();
    return &key_;
  }

  // Closes what is held and holds key instead.
  void Reset(HKEY key = nullptr) {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = key;
  }

  // Gives the handle up without closing it.
  HKEY Release() { return std::exchange(key_, nullptr); }

 private:
  HKEY key_ = nullptr;
};
