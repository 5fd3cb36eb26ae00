#include "package/package_failure.h"

#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/ezip_methods.h"
#include "package/package_run.h"
#include "platform/files.h"

#include <algorithm>
#include <iterator>

namespace qlx {

namespace {

struct FailureText {
    long code;
    const char* text;
};

// EZip's codes in the words the box shows; a code not listed gets kOtherFailure.
constexpr FailureText kFailureTexts[] = {
    {EZIP_E_OPEN, "패키지 파일을 읽을 수 없습니다"},
    {EZIP_E_NOT_ZIP, "압축 파일이 아닙니다"},
    {EZIP_E_STRUCTURE, "압축 파일의 구조가 손상되었습니다"},
    {EZIP_E_OVERLAP, "압축 파일의 구조가 손상되었습니다"},
    {EZIP_E_NAME, "압축 파일에 설치 폴더를 벗어나는 이름이 있습니다"},
    {EZIP_E_NAME_ENCODING, "압축 파일의 파일 이름을 읽을 수 없습니다"},
    {EZIP_E_ENTRY_TYPE, "압축 파일에 링크가 있습니다"},
    {EZIP_E_DUPLICATE, "압축 파일에 같은 이름이 두 번 있습니다"},
    {EZIP_E_ENCRYPTED, "암호화된 압축 파일입니다"},
    {EZIP_E_METHOD, "지원하지 않는 압축 방식입니다"},
    {EZIP_E_TOO_MANY_ENTRIES, "압축 파일에 항목이 너무 많습니다"},
    {EZIP_E_NO_SPACE, "디스크 공간이 부족합니다"},
    {EZIP_E_DESTINATION, "설치 폴더에 같은 이름의 폴더나 파일이 있어 설치할 수 없습니다"},
    {EZIP_E_STAGING, "설치 폴더에 임시 파일을 쓸 수 없습니다"},
    {EZIP_E_DATA, "압축 파일의 데이터가 손상되었습니다"},
    {EZIP_E_SIZE, "압축 파일의 데이터가 손상되었습니다"},
    {EZIP_E_INSTALL, "파일을 설치 폴더로 옮기지 못해 이전 상태로 되돌렸습니다"},
    {EZIP_E_ROLLBACK, "파일을 설치 폴더로 옮기지 못했고 이전 상태로 모두 되돌리지도 못했습니다"},
    {EZIP_E_JOURNAL, "업그레이드 기록 파일을 쓸 수 없습니다"},
    {EZIP_E_PATH_CODE_PAGE, "경로에 시스템 코드 페이지로 나타낼 수 없는 문자가 있습니다"},
    {EZIP_E_INSTALLED_UNFLUSHED, "설치한 파일을 디스크에 기록하지 못했습니다"},
    {EZIP_E_INSTALLED_UNCLEANED, "임시 폴더를 지우지 못했습니다. 다음 실행 때 지웁니다"},
};

constexpr const char* kOtherFailure = "압축을 풀 수 없습니다";

} // namespace

std::string extractionFailureText(long code) {
    const auto* found = std::find_if(std::begin(kFailureTexts), std::end(kFailureTexts),
                                     [code](const FailureText& row) { return row.code == code; });
    const char* text = found == std::end(kFailureTexts) ? kOtherFailure : found->text;
    return std::string(text) + " (" + std::to_string(code) + ")";
}

bool installedDespite(long code) {
    return code == EZIP_E_INSTALLED_UNFLUSHED || code == EZIP_E_INSTALLED_UNCLEANED;
}

std::string installedWithDiskErrorText(long code) {
    return "새 빌드는 모두 설치되었지만 디스크가 오류를 보고했습니다.\r\n" +
           extractionFailureText(code);
}

std::string duplicatePackageReason(std::int64_t build) {
    return std::string(kDuplicateReason) + " (빌드 " + std::to_string(build) + ")";
}

std::string unreadablePackageReason(const std::string& driverText) {
    return "데이터베이스에서 패키지를 읽을 수 없습니다: " + driverText;
}

std::string unsupportedMethodText(int method) {
    // The particle follows how the number's last digit is read: 이, 사, 오
    // and 구 end in a vowel.
    const int last = method % 10;
    const char* particle = last == 2 || last == 4 || last == 5 || last == 9 ? "는" : "은";
    return "압축 방식 " + ezip::methodInWords(method) + particle + " 지원하지 않습니다";
}

PackageFailure commitFailure(long code, const std::string& installation, const PackageRun& run) {
    if (code != EZIP_E_IN_USE) {
        return {"업그레이드", extractionFailureText(code)};
    }
    std::string file = run.busyFile();
    if (file.size() > installation.size() &&
        file.compare(0, installation.size(), installation) == 0 &&
        isPathSeparator(file[installation.size()])) {
        file.erase(0, installation.size() + 1);
    }
    for (char& c : file) {
        c = isPathSeparator(c) ? pathSeparator() : c;
    }
    return {file, kInUseReason};
}

const char* signatureFailureReason(SignatureCheck check) {
    return check == SignatureCheck::WrongPlace ? kWrongPlaceReason : kNotSignedReason;
}

std::string notSignedText(const std::string& file, const std::string& reason) {
    return file + ": " + reason + ".\r\n본사에 문의하세요.";
}

std::string packageFailuresText(const std::vector<PackageFailure>& failures) {
    std::string lines;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        if (i > 0) {
            lines += "\r\n";
        }
        lines += failures[i].file + ": " + failures[i].reason;
    }
    return lines;
}

} // namespace qlx
