#include "base/standard_messages.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include "base/status.h"

namespace webletter {
namespace {

using Entry = std::pair<int, std::string_view>;

// Sorted by number.
constexpr std::array kMessages{
    Entry{3, "Return without GoSub"},
    Entry{error::kInvalidArgument, "Invalid procedure call or argument"},
    Entry{error::kOverflow, "Overflow"},
    Entry{error::kOutOfMemory, "Out of memory"},
    Entry{9, "Subscript out of range"},
    Entry{11, "Division by zero"},
    Entry{13, "Type mismatch"},
    Entry{28, "Out of stack space"},
    Entry{48, "Error in loading DLL"},
    Entry{error::kBadFileName, "Bad file name or number"},
    Entry{error::kFileNotFound, "File not found"},
    Entry{54, "Bad file mode"},
    Entry{55, "File already open"},
    Entry{error::kDeviceIoError, "Device I/O error"},
    Entry{58, "File already exists"},
    Entry{error::kDiskFull, "Disk full"},
    Entry{62, "Input past end of file"},
    Entry{error::kTooManyFiles, "Too many files"},
    Entry{68, "Device unavailable"},
    Entry{error::kPermissionDenied, "Permission denied"},
    Entry{71, "Disk not ready"},
    Entry{error::kPathFileAccessError, "Path/File access error"},
    Entry{error::kPathNotFound, "Path not found"},
    Entry{91, "Object variable or With block variable not set"},
    Entry{429, "ActiveX component can't create object"},
    Entry{440, "Automation error"},

    Entry{error::kFileTooLarge, "The file is too large to read"},
    Entry{error::kTrustStoreUnusable,
          "The certificates that the environment names cannot be used, so nothing was sent or "
          "fetched"},
    Entry{error::kHtmlLinksFailed, "The page's links could not be made absolute"},

    Entry{error::kFetchFailed, "The page could not be fetched"},
    Entry{error::kFetchBadAddress, "The page address is not a valid address"},
    Entry{error::kFetchUnsupportedScheme,
          "The page address must start with http:// or https://; other kinds of address are not "
          "fetched"},
    Entry{error::kFetchCannotConnect,
          "Could not connect to the web server: the connection was refused or the server is "
          "unreachable"},
    Entry{error::kFetchHostNotFound, "The web server's name could not be found"},
    Entry{error::kFetchTlsFailed, "The secure connection to the web server failed"},
    Entry{error::kFetchCertificateInvalid,
          "The web server's certificate could not be verified, so the page was not fetched"},
    Entry{error::kFetchConnectionBroken,
          "The web server broke off the connection or sent an invalid response"},
    Entry{error::kFetchBadContent, "The page's compressed content could not be decoded"},
    Entry{error::kFetchCancelled, "The page fetch was cancelled"},
    Entry{error::kFetchTimeout, "The web server did not answer in time"},
    Entry{error::kFetchTooManyRedirects, "The page redirects too many times"},
    Entry{error::kFetchTooLarge, "The page is too large (more than 64 MiB)"},
    Entry{error::kFetchAccessDenied, "The web server refused access to the page (HTTP 401 or 403)"},
    Entry{error::kFetchPageNotFound, "The page was not found on the web server (HTTP 404 or 410)"},
    Entry{error::kFetchServerError, "The web server reported an internal error (HTTP 5xx)"},
    Entry{error::kFetchHttpError, "The web server answered with an error status"},
    Entry{error::kFetchRedirectToLocal,
          "The page redirects to an address on this computer or its local network, which is not "
          "followed"},
    Entry{error::kFetchPartialContent, "The web server sent only part of the page (HTTP 206)"},
    Entry{error::kFetchNotModified,
          "The web server sent no page, only that it had not changed (HTTP 304)"},
    Entry{error::kFetchRedirectNowhere,
          "The web server redirected without saying where to (HTTP 3xx without Location)"},
    Entry{error::kFetchNoPage,
          "The web server's answer holds no page (an HTTP status other than 200 and 203)"},
    Entry{error::kFetchNotHttp, "The web server's answer is not HTTP"},
    Entry{error::kFetchHeaderTooLarge,
          "The web server's answer has a header too large to take (a line over 100 KiB, or over "
          "256 KiB in all)"},
    Entry{error::kFetchTooManyRequests, "The web server asks to be tried again later (HTTP 429)"},
    Entry{error::kFetchHostNameInvalid,
          "The page address's host name is not a valid international domain name"},

    Entry{error::kMailFailed, "The message could not be sent"},
    Entry{error::kMailServerInvalid, "The mail server's address is not valid"},
    Entry{error::kMailServerNotFound, "The mail server's name could not be found"},
    Entry{error::kMailCannotConnect,
          "Could not connect to the mail server: the connection was refused or the server is "
          "unreachable"},
    Entry{error::kMailTimeout, "The mail server did not answer in time"},
    Entry{error::kMailTlsFailed, "The secure connection to the mail server failed"},
    Entry{error::kMailCertificateInvalid,
          "The mail server's certificate could not be verified, so nothing was sent"},
    Entry{error::kMailServerRefused, "The mail server refused the connection"},
    Entry{error::kMailSenderRefused, "The mail server refused the sender's address"},
    Entry{error::kMailRecipientRefused, "The mail server refused the recipient's address"},
    Entry{error::kMailMessageRefused, "The mail server refused the message"},
    Entry{error::kMailConnectionClosed,
          "The mail server closed the connection before the message was accepted"},
    Entry{error::kMailNoRecipient, "The message has no recipient"},
    Entry{error::kMailNoSender, "The message has no sender's address"},
    Entry{error::kMailAddressInvalid,
          "An e-mail address is not one valid address such as name@example.org"},
    Entry{error::kMailLoginDenied,
          "The mail server refused the sign-in: check the user name and password"},
    Entry{error::kMailNoEncryption,
          "The mail server offers no encryption, so the password was not sent"},
    Entry{error::kMailComposeFailed, "The message could not be composed"},
    Entry{error::kMailLoginUnusable,
          "The user name or password for the mail server holds a control character (such as a "
          "line break), so nothing was sent"},
    Entry{error::kMailAnswerTooLarge, "The mail server's answer was too large to take"},
    Entry{error::kMailNotConfirmed,
          "The mail server did not confirm the message in time; it may have taken it, so check "
          "before sending it again"},
    Entry{error::kMailNoSignIn,
          "The mail server offers no sign-in, so nothing was sent with the user name and password "
          "given"},
    Entry{error::kMailServerNameInvalid,
          "The mail server's name is not a valid international domain name"},
    Entry{error::kMailListUnsubscribeInvalid,
          "ListUnsubscribe must be an https: address and/or a mailto: address, separated by a "
          "comma, without blanks, angle brackets or control characters inside them, so nothing "
          "was sent"},
    Entry{error::kMailListIdInvalid,
          "ListId must be an identifier such as news.example.org (letters, digits and hyphens "
          "between dots), optionally after a name and in angle brackets, so nothing was sent"},
};

static_assert(std::is_sorted(kMessages.begin(), kMessages.end(),
                             [](const Entry& a, const Entry& b) { return a.first < b.first; }));

constexpr std::string_view kUnknown = "Application-defined or object-defined error";

}  // namespace

std::string_view StandardMessage(int error_number) {
  auto it = std::lower_bound(kMessages.begin(), kMessages.end(), error_number,
                             [](const Entry& e, int n) { return e.first < n; });
  if (it != kMessages.end() && it->first == error_number) return it->second;
  return kUnknown;
}

int ErrorNumberFromErrno(int errno_value) {
  switch (errno_value) {
    case ENOENT:
      return error::kFileNotFound;
    case ENOTDIR:
      return error::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return error::kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // past the file-size limit
      return error::kDiskFull;
    case EMFILE:
    case ENFILE:
      return error::kTooManyFiles;
    case EIO:
      return error::kDeviceIoError;
    case ENOMEM:
      return error::kOutOfMemory;
    case ENAMETOOLONG:
      return error::kBadFileName;
    default:
      return error::kPathFileAccessError;
  }
}

std::string_view Status::message() const {
  return ok() ? std::string_view() : StandardMessage(number_);
}

std::string Status::Text() const {
  std::string text(message());
  if (!detail_.empty()) text += " (" + detail_ + ")";
  return text;
}

}  // namespace webletter
