// written.h - a test fixture that collects in memory what Kerfgen's writers print, starting
// from the parameter defaults.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "params.h"
#include "writer.h"

class Written : public ::testing::Test {
 protected:
  void SetUp() override {
    load_defaults();
    out_ = open_memstream(&buffer_, &size_);
    writer.out = out_;
  }
  void TearDown() override {
    std::fclose(out_);
    std::free(buffer_);
  }
  // What has reached the output file.
  std::string text() {
    std::fflush(out_);
    return std::string(buffer_, size_);
  }

 private:
  std::FILE* out_ = nullptr;
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
};
