#pragma once
// The bytes of one file of a load, read piece by piece into a buffer that the whole load shares
// (a load of 2000 small files must not take a fresh buffer per file). Between pieces it asks the
// load's progress hook whether to go on, so that a large file keeps the window answering and a
// cancel takes effect within one piece.
#include "files/spectrum_reader.h"
#include "viewer/load.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvo {

class LoadBuffer {
public:
    static constexpr std::size_t kPieceBytes = std::size_t(256) << 10;
    char* data();

private:
    std::unique_ptr<char[]> bytes_;
};

class LoadFileSource final : public SpectrumByteSource {
public:
    // Opens a regular file of at most `maxBytes`; nullptr with a reason otherwise. A device, FIFO or
    // directory is refused at once instead of blocking or never ending.
    static std::unique_ptr<LoadFileSource> open(const std::string& path, std::uint64_t maxBytes, LoadBuffer& buffer,
                                                std::string& error);
    ~LoadFileSource() override;
    LoadFileSource(const LoadFileSource&) = delete;
    LoadFileSource& operator=(const LoadFileSource&) = delete;

    // Asked before every piece but the first, with bytesDone and bytesTotal filled in.
    void setProgress(const LoadProgressHook* hook, LoadProgress where);

    bool next(std::string_view& piece, std::string& error) override;
    bool rewind(std::string& error) override;
    std::uint64_t sizeHint() const override { return size_; }

    std::uint64_t size() const { return size_; }
    bool cancelled() const { return cancelled_; }

private:
    LoadFileSource(int fd, std::string path, std::uint64_t size, std::uint64_t maxBytes, LoadBuffer& buffer);
    int fd_;
    std::string path_;
    std::uint64_t size_;
    std::uint64_t maxBytes_;
    LoadBuffer& buffer_;
    std::uint64_t read_ = 0;
    bool started_ = false;
    bool cancelled_ = false;
    const LoadProgressHook* hook_ = nullptr;
    LoadProgress where_;
};

} // namespace korvo
