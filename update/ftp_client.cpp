#include "update/ftp_client.h"

#include "platform/outside_library.h"
#include "platform/text_encoding.h"

namespace qlx {

namespace {

// Loaded on the first call into it and kept for the rest of the run, like the
// connection it holds.
OutsideLibrary& ftpLibrary() {
    static OutsideLibrary library("ftp");
    return library;
}

template <typename Function> Function entry(const char* symbol) {
    return reinterpret_cast<Function>(ftpLibrary().entry(symbol));
}

} // namespace

long ftpconnect(const std::string& ip_address, const std::string& user_id,
                const std::string& password) {
    using Connect = short (*)(const char*, const char*, const char*);
    const auto function = entry<Connect>("FTPConnect");
    const std::string address = toSystemEncoding(ip_address);
    const std::string user = toSystemEncoding(user_id);
    const std::string secret = toSystemEncoding(password);
    return function(address.c_str(), user.c_str(), secret.c_str());
}

long ftpdisconnect() {
    using Disconnect = short (*)();
    return entry<Disconnect>("FTPDisconnect")();
}

long ftpsetcurrentdir(const std::string& curr_dir) {
    using SetCurrentDir = short (*)(const char*);
    const auto function = entry<SetCurrentDir>("FTPsetCurrentDir");
    const std::string folder = toSystemEncoding(curr_dir);
    return function(folder.c_str());
}

long ftpfilelist(Bytes& data) {
    using FileList = short (*)(void*);
    return entry<FileList>("FTPfileList")(data.data());
}

long ftpgetfile(const std::string& remote_file, const std::string& local_file,
                std::int16_t binary_or_text) {
    using GetFile = short (*)(const char*, const char*, short);
    const auto function = entry<GetFile>("FTPgetFile");
    const std::string remote = toSystemEncoding(remote_file);
    const std::string local = toSystemEncoding(local_file);
    return function(remote.c_str(), local.c_str(), binary_or_text);
}

} // namespace qlx
