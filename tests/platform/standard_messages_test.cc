#include "platform/standard_messages.h"

#include <cerrno>
#include <set>

#include "gtest/gtest.h"
#include "platform/status.h"

namespace webletter {
namespace {

TEST(StandardMessagesTest, ClassicNumbersKeepTheirTexts) {
  EXPECT_EQ(StandardMessage(6), "Overflow");
  EXPECT_EQ(StandardMessage(53), "File not found");
  EXPECT_EQ(StandardMessage(70), "Permission denied");
  EXPECT_EQ(StandardMessage(75), "Path/File access error");
  EXPECT_EQ(StandardMessage(4242), "Application-defined or object-defined error");
}

TEST(StandardMessagesTest, EveryNumberOfOurOwnHasItsOwnText) {
  const int ours[] = {
      error::kFetchFailed,
      error::kFetchBadAddress,
      error::kFetchUnsupportedScheme,
      error::kFetchCannotConnect,
      error::kFetchHostNotFound,
      error::kFetchTlsFailed,
      error::kFetchCertificateInvalid,
      error::kFetchConnectionBroken,
      error::kFetchBadContent,
      error::kFetchCancelled,
      error::kFetchTimeout,
      error::kFetchTooManyRedirects,
      error::kFetchTooLarge,
      error::kFetchAccessDenied,
      error::kFetchPageNotFound,
      error::kFetchServerError,
      error::kFetchHttpError,
      error::kMailFailed,
      error::kMailServerInvalid,
      error::kMailServerNotFound,
      error::kMailCannotConnect,
      error::kMailTimeout,
      error::kMailTlsFailed,
      error::kMailCertificateInvalid,
      error::kMailServerRefused,
      error::kMailSenderRefused,
      error::kMailRecipientRefused,
      error::kMailMessageRefused,
      error::kMailConnectionClosed,
      error::kMailNoRecipient,
      error::kMailNoSender,
      error::kMailAddressInvalid,
      error::kMailLoginDenied,
      error::kMailNoEncryption,
      error::kMailComposeFailed,
  };
  std::set<std::string_view> texts;
  for (int number : ours) {
    const std::string_view text = StandardMessage(number);
    EXPECT_NE(text, StandardMessage(-1)) << number;
    EXPECT_TRUE(texts.insert(text).second) << "text used twice: " << text;
  }
}

TEST(StandardMessagesTest, SystemErrorsMapToClassicNumbers) {
  EXPECT_EQ(ErrorNumberFromErrno(ENOENT), error::kFileNotFound);
  EXPECT_EQ(ErrorNumberFromErrno(EACCES), error::kPermissionDenied);
  EXPECT_EQ(ErrorNumberFromErrno(ENOSPC), error::kDiskFull);
  EXPECT_EQ(ErrorNumberFromErrno(EISDIR), error::kPathFileAccessError);
}

TEST(StatusTest, CarriesTheNumberAndItsMessage) {
  EXPECT_TRUE(Status::Ok().ok());
  EXPECT_EQ(Status(6).message(), "Overflow");
  Result<int> failed = Status(error::kOverflow);
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.status().number(), 6);
  Result<int> value = 7;
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(*value, 7);
}

}  // namespace
}  // namespace webletter
