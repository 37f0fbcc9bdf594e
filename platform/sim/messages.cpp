#include "platform/sim/messages.h"

#include <algorithm>
#include <iterator>

namespace kes::sim {
namespace {

struct Message {
  std::uint32_t code;
  std::u16string_view text;
};

// Sorted by code. Texts as Windows 10 (en-US) returns them; "%1" stays literal because the
// system always asks with FORMAT_MESSAGE_IGNORE_INSERTS.
constexpr Message kMessages[] = {
    {0, u"The operation completed successfully.\r\n"},
    {1, u"Incorrect function.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {4, u"The system cannot open the file.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {15, u"The system cannot find the drive specified.\r\n"},
    {18, u"There are no more files.\r\n"},
    {19, u"The media is write protected.\r\n"},
    {21, u"The device is not ready.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {33,
     u"The process cannot access the file because another process has locked a portion of the "
     u"file.\r\n"},
    {38, u"Reached the end of the file.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {53, u"The network path was not found.\r\n"},
    {64, u"The specified network name is no longer available.\r\n"},
    {67, u"The network name cannot be found.\r\n"},
    {80, u"The file exists.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {109, u"The pipe has been ended.\r\n"},
    {111, u"The file name is too long.\r\n"},
    {112, u"There is not enough space on the disk.\r\n"},
    {120, u"This function is not supported on this system.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {124, u"The system call level is not correct.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {127, u"The specified procedure could not be found.\r\n"},
    {128, u"There are no child processes to wait for.\r\n"},
    {145, u"The directory is not empty.\r\n"},
    {161, u"The specified path is invalid.\r\n"},
    {183, u"Cannot create a file when that file already exists.\r\n"},
    {193, u"%1 is not a valid Win32 application.\r\n"},
    {203, u"The system could not find the environment option that was entered.\r\n"},
    {206, u"The filename or extension is too long.\r\n"},
    {234, u"More data is available.\r\n"},
    {258, u"The wait operation timed out.\r\n"},
    {259, u"No more data is available.\r\n"},
    {267, u"The directory name is invalid.\r\n"},
    {317,
     u"The system cannot find message text for message number 0x%1 in the message file for "
     u"%2.\r\n"},
    {487, u"Attempt to access invalid address.\r\n"},
    {740, u"The requested operation requires elevation.\r\n"},
    {998, u"Invalid access to memory location.\r\n"},
    {1004, u"Invalid flags.\r\n"},
    {1008, u"An attempt was made to reference a token that does not exist.\r\n"},
    {1060, u"The specified service does not exist as an installed service.\r\n"},
    {1113, u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1115, u"A system shutdown is in progress.\r\n"},
    {1116, u"Unable to abort the system shutdown because no shutdown was in progress.\r\n"},
    {1155, u"No application is associated with the specified file for this operation.\r\n"},
    {1157, u"One of the library files needed to run this application cannot be found.\r\n"},
    {1168, u"Element not found.\r\n"},
    {1190, u"A system shutdown has already been scheduled.\r\n"},
    {1200, u"The specified device name is invalid.\r\n"},
    {1201, u"The device is not currently connected but it is a remembered connection.\r\n"},
    {1208, u"An extended error has occurred.\r\n"},
    {1222, u"The network is not present or not started.\r\n"},
    {1223, u"The operation was canceled by the user.\r\n"},
    {1300, u"Not all privileges or groups referenced are assigned to the caller.\r\n"},
    {1313, u"A specified privilege does not exist.\r\n"},
    {1314, u"A required privilege is not held by the client.\r\n"},
    {1315, u"The name provided is not a properly formed account name.\r\n"},
    {1326, u"The user name or password is incorrect.\r\n"},
    {1332, u"No mapping between account names and security IDs was done.\r\n"},
    {1337, u"The security ID structure is invalid.\r\n"},
    {1338, u"The security descriptor structure is invalid.\r\n"},
    {1355, u"The specified domain either does not exist or could not be contacted.\r\n"},
    {1376, u"The specified local group does not exist.\r\n"},
    {1378, u"The specified account name is already a member of the group.\r\n"},
    {1400, u"Invalid window handle.\r\n"},
    {1460, u"This operation returned because the timeout period expired.\r\n"},
    {1722, u"The RPC server is unavailable.\r\n"},
    {1812, u"The specified image file did not contain a resource section.\r\n"},
    {1813, u"The specified resource type cannot be found in the image file.\r\n"},
    {1814, u"The specified resource name cannot be found in the image file.\r\n"},
    {1815, u"The specified resource language ID cannot be found in the image file.\r\n"},
    {2202, u"The specified username is invalid.\r\n"},
    {2221, u"The user name could not be found.\r\n"},
    {2224, u"The account already exists.\r\n"},
    {2250, u"This network connection does not exist.\r\n"},
    {4312, u"The object identifier does not represent a valid object.\r\n"},
};

}  // namespace

std::optional<std::u16string_view> SystemMessageText(std::uint32_t code) {
  auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), code,
                             [](const Message& m, std::uint32_t c) { return m.code < c; });
  if (it == std::end(kMessages) || it->code != code) return std::nullopt;
  return it->text;
}

}  // namespace kes::sim
