#include "libs/ftp/ftp_session.h"

#include "libs/ftp/ftp_address.h"
#include "libs/ftp/ftp_codes.h"
#include "platform/files.h"
#include "platform/whole_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <curl/curl.h>
#include <filesystem>
#include <mutex>
#include <new>
#include <random>
#include <system_error>

namespace qlx::ftp {

namespace {

bool globalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

short resultOf(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return FTP_OK;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return FTP_E_CONNECT;
    case CURLE_LOGIN_DENIED:
        return FTP_E_LOGIN;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return FTP_E_TIMEOUT;
    case CURLE_REMOTE_ACCESS_DENIED: // libcurl's answer to a refused CWD
        return FTP_E_NO_FOLDER;
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
        return FTP_E_NO_FILE;
    case CURLE_PARTIAL_FILE:
        return FTP_E_INCOMPLETE;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
        return FTP_E_NETWORK;
    case CURLE_WRITE_ERROR:
        return FTP_E_LOCAL_FILE;
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FAILED_INIT:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_NOT_BUILT_IN:
    case CURLE_UNKNOWN_OPTION:
    case CURLE_ABORTED_BY_CALLBACK:
        return FTP_E_INTERNAL;
    default:
        return FTP_E_PROTOCOL;
    }
}

// Where a download goes until it is complete.
struct Sink {
    std::FILE* file = nullptr;
    curl_off_t written = 0;
};

// Notices a transfer that has stopped moving. libcurl's own low-speed limit
// averages over several seconds, so a stall after a burst of data would take
// far longer than the stall time-out to show.
struct StallWatch {
    std::chrono::steady_clock::duration limit;
    std::chrono::steady_clock::time_point lastMove = std::chrono::steady_clock::now();
    curl_off_t lastBytes = -1;
    bool stalled = false;
};

int watchProgress(void* userdata, curl_off_t downloaded, curl_off_t /*dltotal*/,
                  curl_off_t /*ultotal*/, curl_off_t /*ulnow*/) {
    auto* watch = static_cast<StallWatch*>(userdata);
    const auto now = std::chrono::steady_clock::now();
    // Before the first byte the connect and reply time-outs and libcurl's
    // low-speed limit apply; this watch is for a transfer that stops.
    if (downloaded == 0 || downloaded != watch->lastBytes) {
        watch->lastBytes = downloaded;
        watch->lastMove = now;
        return 0;
    }
    if (now - watch->lastMove >= watch->limit) {
        watch->stalled = true;
        return 1; // makes libcurl stop with CURLE_ABORTED_BY_CALLBACK
    }
    return 0;
}

size_t writeToSink(char* data, size_t size, size_t count, void* userdata) {
    auto* sink = static_cast<Sink*>(userdata);
    const size_t bytes = size * count;
    const size_t done = std::fwrite(data, 1, bytes, sink->file);
    sink->written += static_cast<curl_off_t>(done);
    return done; // anything short of `bytes` makes libcurl stop with CURLE_WRITE_ERROR
}

// Creates a new file beside `target` that no one else has opened: O_EXCL makes
// the open fail rather than reuse a file (or follow a link) already there.
std::FILE* createTemporary(const std::string& target, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".part-%08x", static_cast<unsigned>(random()));
        name = target + suffix;
        if (std::FILE* file = qlx::openNewStdioFile(name); file != nullptr) {
            return file;
        }
        if (errno != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

bool endsWithSeparator(const std::string& path) {
    return qlx::isPathSeparator(path.back());
}

short checkDownloadArguments(const char* remoteFile, const char* localFile) {
    if (remoteFile == nullptr || *remoteFile == '\0' || localFile == nullptr ||
        *localFile == '\0') {
        return FTP_E_ARGUMENT;
    }
    const std::string target(localFile);
    std::error_code error;
    if (endsWithSeparator(target) || std::filesystem::is_directory(target, error)) {
        return FTP_E_ARGUMENT;
    }
    return FTP_OK;
}

// libcurl checks this too when the server announced a size; a server that
// announced one in the 150 reply only is held to it here.
short checkAnnouncedSize(CURL* easy, const Sink& sink) {
    curl_off_t announced = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced >= 0 && announced != sink.written) {
        return FTP_E_INCOMPLETE;
    }
    return FTP_OK;
}

// Closes the download and puts it in place when the transfer, `result`, went
// well; a download that did not is removed.
short finishDownload(Sink& sink, const std::string& temporary, const std::string& target,
                     short result) {
    if (std::fclose(sink.file) != 0 && result == FTP_OK) {
        result = FTP_E_LOCAL_FILE;
    }
    std::error_code error;
    if (result == FTP_OK) {
        std::filesystem::rename(temporary, target, error);
        if (error) {
            result = FTP_E_LOCAL_FILE;
        }
    }
    if (result != FTP_OK) {
        std::filesystem::remove(temporary, error);
    }
    return result;
}

} // namespace

Session::~Session() {
    disconnect();
}

void Session::disconnect() {
    if (easy_ != nullptr) {
        curl_easy_cleanup(easy_);
        easy_ = nullptr;
    }
    if (multi_ != nullptr) {
        curl_multi_cleanup(multi_); // closes the connections it holds
        multi_ = nullptr;
    }
    serverUrl_.clear();
    folderPath_.clear();
}

std::string Session::escaped(const std::string& text) {
    char* encoded = curl_easy_escape(easy_, text.data(), static_cast<int>(text.size()));
    if (encoded == nullptr) {
        throw std::bad_alloc(); // the exports turn it into FTP_E_INTERNAL
    }
    std::string result(encoded);
    curl_free(encoded);
    return result;
}

void Session::prepare(const std::string& url) {
    CURL* h = easy_;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "ftp,ftps");
    curl_easy_setopt(h, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
    curl_easy_setopt(h, CURLOPT_PROXY, ""); // no proxy from the environment
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FTPPORT, nullptr); // passive
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeouts_.connectSeconds);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeouts_.responseSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeouts_.stallSeconds);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 512L * 1024L);
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
}

// Runs the prepared request on the multi handle, which keeps the connection
// between requests. libcurl 7.88 can leave a new data connection unwatched
// until its next one-second tick; polling in short steps spares every
// transfer that second.
short Session::perform() {
    StallWatch watch{std::chrono::seconds(timeouts_.stallSeconds)};
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &watchProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, &watch);
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
        return FTP_E_INTERNAL;
    }
    CURLcode code = CURLE_FAILED_INIT;
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            break;
        }
        if (running > 0 && curl_multi_poll(multi_, nullptr, 0, 20, nullptr) != CURLM_OK) {
            break;
        }
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
            code = message->data.result;
        }
    }
    curl_multi_remove_handle(multi_, easy_);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, nullptr);
    if (code == CURLE_ABORTED_BY_CALLBACK && watch.stalled) {
        return FTP_E_TIMEOUT;
    }
    return resultOf(code);
}

short Session::connect(const char* address, const char* user, const char* password) {
    disconnect();
    if (address == nullptr || user == nullptr || password == nullptr) {
        return FTP_E_ARGUMENT;
    }
    const auto url = serverUrl(address);
    if (!url) {
        return FTP_E_ADDRESS;
    }
    if (!globalInit()) {
        return FTP_E_INTERNAL;
    }
    easy_ = curl_easy_init();
    multi_ = curl_multi_init();
    if (easy_ == nullptr || multi_ == nullptr) {
        disconnect();
        return FTP_E_INTERNAL;
    }
    // Name and password as options, never in the URL, so that no character of
    // them needs or suffers URL decoding.
    curl_easy_setopt(easy_, CURLOPT_USERNAME, user);
    curl_easy_setopt(easy_, CURLOPT_PASSWORD, password);
    // A request without a body on the login folder: libcurl connects, logs in
    // and does nothing else, and keeps the logged-in connection for the next
    // request.
    prepare(*url);
    curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    const short result = perform();
    if (result != FTP_OK) {
        disconnect();
        return result;
    }
    serverUrl_ = *url;
    return FTP_OK;
}

short Session::setCurrentDir(const char* folder) {
    if (easy_ == nullptr) {
        return FTP_E_NOT_CONNECTED;
    }
    if (folder == nullptr || *folder == '\0') {
        return FTP_E_ARGUMENT;
    }
    // libcurl turns each path element of the URL into one CWD, so each folder
    // name is escaped on its own and a leading "/" becomes an element of its own
    // ("%2F" decodes to "/", the server's root).
    const std::string text(folder);
    std::string path = text.front() == '/' ? std::string("%2F/") : folderPath_;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            path += escaped(text.substr(start, end - start)) + "/";
        }
        start = end + 1;
    }
    prepare(serverUrl_ + path);
    curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    const short result = perform();
    if (result == FTP_OK) {
        folderPath_ = path;
    }
    return result;
}

short Session::getFile(const char* remoteFile, const char* localFile, short binaryOrText) {
    if (easy_ == nullptr) {
        return FTP_E_NOT_CONNECTED;
    }
    if (const short problem = checkDownloadArguments(remoteFile, localFile); problem != FTP_OK) {
        return problem;
    }
    const std::string target(localFile);
    std::string temporary;
    Sink sink;
    sink.file = createTemporary(target, temporary);
    if (sink.file == nullptr) {
        return FTP_E_LOCAL_FILE;
    }

    const bool binary = binaryOrText == 1;
    prepare(serverUrl_ + folderPath_ + escaped(remoteFile));
    curl_easy_setopt(easy_, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &writeToSink);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &sink);
    short result = perform();
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, nullptr);

    if (result == FTP_OK && binary) {
        result = checkAnnouncedSize(easy_, sink);
    }
    return finishDownload(sink, temporary, target, result);
}

} // namespace qlx::ftp
