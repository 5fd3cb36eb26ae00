#pragma once

#include "package/package_signature.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlx {

// A package of the build list that could not be installed, and why, in words
// for the user.
struct PackageFailure {
    std::string file;
    std::string reason;
};

// Why a package that the publisher's key did not sign is refused.
inline constexpr const char* kNotSignedReason = "게시자가 서명한 패키지가 아닙니다";

// Why a package signed for another row, folder, build or name is refused.
inline constexpr const char* kWrongPlaceReason = "서명이 이 패키지의 위치와 맞지 않습니다";
// Why a NULL package fails when packages are checked: a row must not
// withhold a signed fix unnoticed.
inline constexpr const char* kEmptyPackageReason = "패키지가 비어 있습니다";

// The reason for a package that failed its check.
[[nodiscard]] const char* signatureFailureReason(SignatureCheck check);

// The box of the single-package and FTP updates for such a package, `file`.
inline constexpr const char* kNotSignedTitle = "확인!";
[[nodiscard]] std::string notSignedText(const std::string& file,
                                        const std::string& reason = kNotSignedReason);

// Why a package is refused whose FILENAME its build lists twice: which of
// the two rows is meant cannot be told.
inline constexpr const char* kDuplicateReason = "같은 이름의 패키지가 두 번 있습니다";
[[nodiscard]] std::string duplicatePackageReason(std::int64_t build);
// Why a package whose BLOB select failed is refused, with the driver's words.
[[nodiscard]] std::string unreadablePackageReason(const std::string& driverText);

// True for a result of a run's commit after which every file is in place,
// although the disk reported an error afterwards.
[[nodiscard]] bool installedDespite(long code);
// The box's text for such a commit.
[[nodiscard]] std::string installedWithDiskErrorText(long code);
// Why a file of the installation could not be replaced: another program
// (a virus scanner, an editor, a running program) kept using it.
inline constexpr const char* kInUseReason = "다른 프로그램이 사용 중인 파일이라 바꿀 수 없습니다";

// Why EZip refused or failed a package: its result code in words.
[[nodiscard]] std::string extractionFailureText(long code);

// Why a package whose compression method `method` EZip cannot decode is refused.
[[nodiscard]] std::string unsupportedMethodText(int method);
class PackageRun;

// Why the commit of `run` into the installation folder `installation` failed
// with EZip's `code`: a file that another program kept using is named as the
// installation holds it ("bin\tool.exe").
[[nodiscard]] PackageFailure commitFailure(long code, const std::string& installation,
                                           const PackageRun& run);

// The text of the one box that tells the user which packages failed.
[[nodiscard]] std::string packageFailuresText(const std::vector<PackageFailure>& failures);

} // namespace qlx
