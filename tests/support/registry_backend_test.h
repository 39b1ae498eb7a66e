// The fixture of the suites that run against every registry backend: the
// test area is emptied before and after each test, and a backend that can
// count its handles must have as many open at the end as at the start.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "tests/support/registry_backend.h"

class RegistryBackendTest : public ::testing::TestWithParam<RegistryBackend*> {
 protected:
  void SetUp() override {
    backend().Reset();
    handles_at_start_ = backend().OpenHandleCount();
  }

  void TearDown() override {
    backend().SetEnumKeyHook(nullptr);
    if (handles_at_start_) {
      EXPECT_EQ(backend().OpenHandleCount(), handles_at_start_) << "a registry handle was left open";
    }
    backend().Reset();
  }

  RegistryBackend& backend() { return *GetParam(); }

  void Seed(std::string_view body) { SeedRegistry(backend(), Regedit4(body)); }

  // The handles open now beyond those at the start; -1 when unknown.
  int HandlesOpened() const {
    const auto now = GetParam()->OpenHandleCount();
    return now && handles_at_start_ ? *now - *handles_at_start_ : -1;
  }

 private:
  std::optional<int> handles_at_start_;
};
