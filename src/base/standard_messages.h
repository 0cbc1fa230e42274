// The table of standard messages by error number. Every failure text that the program shows,
// logs or mails comes from here, never from a library: the number says what went wrong, and its
// text says it in words a person understands. Only a mail server's refusal adds the server's own
// reply after it (Status::Text).
#ifndef WEBLETTER_BASE_STANDARD_MESSAGES_H_
#define WEBLETTER_BASE_STANDARD_MESSAGES_H_

#include <string_view>

namespace webletter {

namespace error {
// The classic runtime's numbers.
inline constexpr int kInvalidArgument = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kBadFileName = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIoError = 57;
inline constexpr int kDiskFull = 61;
inline constexpr int kTooManyFiles = 67;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccessError = 75;
inline constexpr int kPathNotFound = 76;

// Files.
inline constexpr int kFileTooLarge = 35700;
inline constexpr int kTrustStoreUnusable = 35701;
inline constexpr int kHtmlLinksFailed = 35702;

// Page fetch.
inline constexpr int kFetchFailed = 35750;
inline constexpr int kFetchBadAddress = 35752;
inline constexpr int kFetchUnsupportedScheme = 35753;
inline constexpr int kFetchCannotConnect = 35754;
inline constexpr int kFetchHostNotFound = 35755;
inline constexpr int kFetchTlsFailed = 35756;
inline constexpr int kFetchCertificateInvalid = 35757;
inline constexpr int kFetchConnectionBroken = 35758;
inline constexpr int kFetchBadContent = 35759;
inline constexpr int kFetchCancelled = 35760;
inline constexpr int kFetchTimeout = 35761;
inline constexpr int kFetchTooManyRedirects = 35762;
inline constexpr int kFetchTooLarge = 35763;
inline constexpr int kFetchAccessDenied = 35764;
inline constexpr int kFetchPageNotFound = 35765;
inline constexpr int kFetchServerError = 35766;
inline constexpr int kFetchHttpError = 35767;
inline constexpr int kFetchRedirectToLocal = 35768;
inline constexpr int kFetchPartialContent = 35769;
inline constexpr int kFetchNotModified = 35770;
inline constexpr int kFetchRedirectNowhere = 35771;
inline constexpr int kFetchNoPage = 35772;
inline constexpr int kFetchNotHttp = 35773;
inline constexpr int kFetchHeaderTooLarge = 35774;
inline constexpr int kFetchTooManyRequests = 35775;
inline constexpr int kFetchHostNameInvalid = 35776;

// Mail sending.
inline constexpr int kMailFailed = 36000;
inline constexpr int kMailServerInvalid = 36001;
inline constexpr int kMailServerNotFound = 36002;
inline constexpr int kMailCannotConnect = 36003;
inline constexpr int kMailTimeout = 36004;
inline constexpr int kMailTlsFailed = 36005;
inline constexpr int kMailCertificateInvalid = 36006;
inline constexpr int kMailServerRefused = 36007;
inline constexpr int kMailSenderRefused = 36008;
inline constexpr int kMailRecipientRefused = 36009;
inline constexpr int kMailMessageRefused = 36010;
inline constexpr int kMailConnectionClosed = 36011;
inline constexpr int kMailNoRecipient = 36012;
inline constexpr int kMailNoSender = 36013;
inline constexpr int kMailAddressInvalid = 36014;
inline constexpr int kMailLoginDenied = 36015;
inline constexpr int kMailNoEncryption = 36016;
inline constexpr int kMailComposeFailed = 36017;
inline constexpr int kMailLoginUnusable = 36018;
inline constexpr int kMailAnswerTooLarge = 36019;
inline constexpr int kMailNotConfirmed = 36020;
inline constexpr int kMailNoSignIn = 36021;
inline constexpr int kMailServerNameInvalid = 36022;
inline constexpr int kMailListUnsubscribeInvalid = 36023;
inline constexpr int kMailListIdInvalid = 36024;
}  // namespace error

// The text of an error number. A number outside the table gives the classic catch-all text.
std::string_view StandardMessage(int error_number);

// The error number for a failed system call's errno (ENOENT: 53 "File not found", EACCES: 70
// "Permission denied", ENOSPC and EFBIG: 61 "Disk full", ...); 75 "Path/File access error"
// otherwise.
int ErrorNumberFromErrno(int errno_value);

}  // namespace webletter

#endif  // WEBLETTER_BASE_STANDARD_MESSAGES_H_
