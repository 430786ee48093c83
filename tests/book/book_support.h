// Helpers of the book tests: a fresh working directory per test and file writers.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "book/book.h"

namespace booktest {

// Runs each test in its own empty directory, since the book, advice and
// learning files are looked up in the working directory.
class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(home, sizeof home), nullptr);
        std::snprintf(dir, sizeof dir, "/tmp/kestrion-book-XXXXXX");
        ASSERT_NE(mkdtemp(dir), nullptr);
        ASSERT_EQ(chdir(dir), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(home), 0);
        std::string command = std::string("rm -rf ") + dir;
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    char home[4096];
    char dir[64];
};

inline void WriteBytes(const char* path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

inline void WriteBook(const char* path, const std::vector<book::BookRecord>& records) {
    std::vector<uint8_t> bytes(records.size() * book::RecordSize);
    for (size_t i = 0; i < records.size(); i++) book::EncodeRecord(records[i], &bytes[i * book::RecordSize]);
    WriteBytes(path, bytes);
}

inline void WriteAdvice(const char* path, const std::vector<book::AdviceRecord>& records) {
    std::vector<uint8_t> bytes(records.size() * book::RecordSize);
    for (size_t i = 0; i < records.size(); i++) book::EncodeRecord(records[i], &bytes[i * book::RecordSize]);
    WriteBytes(path, bytes);
}

inline long FileSize(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fclose(f);
    return size;
}

}  // namespace booktest
