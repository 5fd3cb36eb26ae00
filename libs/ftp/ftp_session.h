#pragma once

#include <string>

using CURL = void;
using CURLM = void;

namespace qlx::ftp {

struct Timeouts {
    long connectSeconds = 10;
    long responseSeconds = 10;
    long stallSeconds = 10;
};

// The one FTP connection of the process: a libcurl easy handle that is kept
// between calls, so that its control connection stays open and logged in, and
// the folder the caller has changed to. Not thread-safe; the exports serialise
// all calls. Results are the codes of ftp_codes.h.
class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    short connect(const char* address, const char* user, const char* password);
    void disconnect();
    short setCurrentDir(const char* folder);
    short getFile(const char* remoteFile, const char* localFile, short binaryOrText);

    void setTimeouts(const Timeouts& timeouts) { timeouts_ = timeouts; }

private:
    // Sets the options every request shares; the request's own come after.
    void prepare(const std::string& url);
    std::string escaped(const std::string& text);
    short perform();

    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    std::string serverUrl_;  // "ftp://a.b.c.d:port/"
    std::string folderPath_; // URL path of the current folder below the login folder, "" or ".../"
    Timeouts timeouts_;
};

} // namespace qlx::ftp
