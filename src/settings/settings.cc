#include "settings/settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "base/posix_file.h"
#include "settings/ini_text.h"

namespace webletter {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// How often a writer tries to lock the file again after another writer replaced it meanwhile.
constexpr int kLockAttempts = 1000;

// A settings file open for a read-modify-write, with an exclusive advisory lock held on it.
struct LockedFile {
  UniqueFd fd;
  struct stat status;
  bool created;  // this writer created it, empty, to have something to lock
};

long ReadSome(int fd, char* buffer, std::size_t size) {
  ssize_t count;
  do {
    count = read(fd, buffer, size);
  } while (count < 0 && errno == EINTR);
  return count;
}

bool IsRegularFile(int fd, struct stat& status) {
  return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// The file a write replaces: a symbolic link's target, so that the link itself stays.
std::string FileToReplace(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens `path` for writing (creating it when missing) and locks it. After waiting for the lock
// the path may name a newer file that another writer renamed into place; the lock is then taken
// again on that one, so that every writer works on the file that is current under its lock.
std::optional<LockedFile> OpenLocked(const std::string& path) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    bool created = false;
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT) {
      fd = UniqueFd(open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666));
      if (!fd.valid() && errno == EEXIST) continue;
      created = fd.valid();
    }
    struct stat held;
    if (!fd.valid() || !IsRegularFile(fd.get(), held)) return std::nullopt;
    int locked;
    do {
      locked = flock(fd.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) return std::nullopt;
    struct stat current;
    if (stat(path.c_str(), &current) == 0 && current.st_dev == held.st_dev &&
        current.st_ino == held.st_ino) {
      return LockedFile{std::move(fd), held, created};
    }
  }
  return std::nullopt;
}

// Puts `text` in place of the file at `path` through a temporary file in the same folder, so
// that the file is either the old one or the new one whole, with the old one's owner and mode.
bool ReplaceFile(const std::string& path, std::string_view text, const struct stat& old) {
  std::string folder = FolderOf(path);
  std::string temp_path = folder + "/." + NameOf(path) + ".XXXXXX";
  UniqueFd temp(mkostemp(temp_path.data(), O_CLOEXEC));
  if (!temp.valid()) return false;
  // Only a privileged writer can give the file back to its owner; others keep their own.
  [[maybe_unused]] const int given_back = fchown(temp.get(), old.st_uid, old.st_gid);
  bool ok = fchmod(temp.get(), old.st_mode & 07777) == 0 && WriteAll(temp.get(), text).ok() &&
            fsync(temp.get()) == 0;
  ok = temp.Close() == 0 && ok;
  ok = ok && rename(temp_path.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(temp_path.c_str());
    return false;
  }
  UniqueFd folder_fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_fd.valid()) fsync(folder_fd.get());  // makes the rename itself durable
  return true;
}

// Where the magnitude of a decimal number that does not fit a double lies: above (true) or
// below the range. `digits` holds the digits before and after the point, `whole_digits` how
// many of them stand before it.
bool IsTooLarge(std::string_view digits, std::size_t whole_digits, long long exponent) {
  std::size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) return false;
  return static_cast<long long>(whole_digits) - static_cast<long long>(first) + exponent > 0;
}

std::size_t CountDigits(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  return end - from;
}

}  // namespace

Settings::Settings(std::string ini_path) : ini_path_(std::move(ini_path)) {}

std::string Settings::GetIniValue(std::string_view section, std::string_view key) const {
  ini_text::ValueFinder finder(section, key);
  // No lock: writers replace the file by a rename, so a read sees the old or the new file whole.
  UniqueFd fd(open(ini_path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat status;
  if (!fd.valid() || !IsRegularFile(fd.get(), status)) return "";
  auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunk);
  while (true) {
    long count = ReadSome(fd.get(), buffer.get(), kReadChunk);
    if (count < 0) return "";
    if (count == 0) break;
    if (finder.Take({buffer.get(), static_cast<std::size_t>(count)})) break;
  }
  return finder.Finish();
}

std::string Settings::ReadProblem() const {
  UniqueFd fd(open(ini_path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return std::strerror(errno);
  struct stat status;
  if (fstat(fd.get(), &status) != 0) return std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  char byte;
  if (ReadSome(fd.get(), &byte, 1) < 0) return std::strerror(errno);
  return "";
}

bool Settings::OthersMayRead() const {
  struct stat status;
  return stat(ini_path_.c_str(), &status) == 0 && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0;
}

void Settings::WriteIniValue(std::string_view section, std::string_view key,
                             std::string_view value) const {
  // A key that could not be read back is never written (checked before the file is touched).
  if (!ini_text::WithValue("", section, key, value).has_value()) return;
  std::string path = FileToReplace(ini_path_);
  std::optional<LockedFile> file = OpenLocked(path);
  if (!file.has_value()) return;
  const Result<std::string> old_text = ReadAll(file->fd.get(), SIZE_MAX);
  std::optional<std::string> new_text;
  if (old_text.ok()) new_text = ini_text::WithValue(*old_text, section, key, value);
  if (new_text.has_value() && *new_text == *old_text) return;
  if (!new_text.has_value() || !ReplaceFile(path, *new_text, file->status)) {
    // The empty file made only to hold the lock goes again; the lock is still ours.
    if (file->created) unlink(path.c_str());
  }
}

double IniNumber(std::string_view given) {
  // Blanks count for nothing anywhere in a number: "- 1" is -1 and "1 5" is 15.
  std::string compact(given);
  std::erase_if(compact, [](char c) { return c == ' ' || c == '\t' || c == '\n'; });
  const std::string_view text = compact;
  if (text.empty()) return 0;
  std::size_t pos = 0;
  bool negative = text[pos] == '-';
  if (text[pos] == '-' || text[pos] == '+') ++pos;

  std::size_t start = pos;
  std::size_t whole_digits = CountDigits(text, pos);
  pos += whole_digits;
  std::size_t fraction_digits = 0;
  if (pos < text.size() && text[pos] == '.') {
    fraction_digits = CountDigits(text, pos + 1);
    if (whole_digits + fraction_digits > 0) pos += 1 + fraction_digits;
  }
  if (whole_digits + fraction_digits == 0) return 0;
  std::string digits(text.substr(start, whole_digits));
  if (fraction_digits > 0) digits += text.substr(start + whole_digits + 1, fraction_digits);

  long long exponent = 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    std::size_t after = pos + 1;
    bool negative_exponent = after < text.size() && text[after] == '-';
    if (after < text.size() && (text[after] == '-' || text[after] == '+')) ++after;
    std::size_t exponent_digits = CountDigits(text, after);
    if (exponent_digits > 0) {
      for (std::size_t i = after; i < after + exponent_digits; ++i) {
        exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000'000LL);
      }
      if (negative_exponent) exponent = -exponent;
      pos = after + exponent_digits;
    }
  }

  double value = 0;
  auto [end, error] = std::from_chars(text.data() + start, text.data() + pos, value);
  if (error == std::errc::result_out_of_range) {
    // Too large a number means the largest one; too small a one is 0.
    value = IsTooLarge(digits, whole_digits, exponent) ? std::numeric_limits<double>::max() : 0;
  } else if (error != std::errc() || end != text.data() + pos) {
    value = 0;
  }
  if (value == 0) return 0;
  return negative ? -value : value;
}

}  // namespace webletter
