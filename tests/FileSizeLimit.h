#pragma once

#include <csignal>

#include <sys/resource.h>

// A disk that takes only the first bytes of a file: while an object lives,
// this process may not write a file beyond the given size, and a write past
// it fails (EFBIG) as on a full disk instead of ending the process.
namespace kestrune::testfiles {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
};

} // namespace kestrune::testfiles
