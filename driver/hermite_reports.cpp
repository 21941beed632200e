// The fatal report of a failed interpolation call: which call failed, its
// status, and a stop that tells the user to check the fuel map.
#include <cstring>
#include <string_view>

#include "hermite/hermite.h"
#include "textio/endings.h"
#include "textio/formats.h"
#include "textio/units.h"

namespace hermite {

namespace {

constexpr std::size_t kFailMsgLength = 1024;

// The message of each call site, indexed by ICALL - 1; each is 42 characters.
constexpr std::string_view kMessages[] = {
    "Error : DPCHIM ( called from FCGRID, 1st )", "Error : DPCHFE ( called from FCGRID, 1st )",
    "Error : DPCHIM ( called from FCGRID, 2nd )", "Error : DPCHFE ( called from FCGRID, 2nd )",
    "Error : DPCHIM ( called from CALCFC, 1st )", "Error : DPCHFE ( called from CALCFC, 1st )",
    "Error : DPCHIM ( called from CALCFC, 2nd )", "Error : DPCHFE ( called from CALCFC, 2nd )",
};

}  // namespace

void HERMERR(const int& ICALL, const int& IERR) {
  // A code outside 1..8 names no call site; its line is left all blanks.
  char failmsg[kFailMsgLength];
  std::memset(failmsg, ' ', kFailMsgLength);
  if (ICALL >= 1 && ICALL <= 8) {
    const std::string_view message = kMessages[ICALL - 1];
    std::memcpy(failmsg, message.data(), message.size());
  }
  textio::write_formatted(textio::kErrorOutput, textio::TEXT1_FMT,
                          {std::string_view(failmsg, kFailMsgLength)});
  textio::write_formatted(textio::kErrorOutput, textio::IERR_FMT, {"ierr = ", IERR});
  // Exit status 1: a script running the calculator must see the failure.
  textio::stop(" Terminated by error of Hermite function. Check input fuel map.", 1);
}

}  // namespace hermite
