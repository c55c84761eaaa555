// Groups made and their members changed: OvelAddGroup, OvelAddGroupMember,
// OvelRemoveGroupMember.
#include "frame/call_errors.h"
#include "ovel.h"

using namespace ovel;

extern "C" OVEL_EXPORT int OVELAPI OvelAddGroup(Client*, const char*, const char*) {
  CallErrors errors;
  return errors.Fail(Cause::kInvalidArgument, 0);
}

extern "C" OVEL_EXPORT int OVELAPI OvelAddGroupMember(ViewHandle, const char*, int) {
  CallErrors errors;
  return errors.Fail(Cause::kInvalidArgument, 0);
}

extern "C" OVEL_EXPORT int OVELAPI OvelRemoveGroupMember(ViewHandle, const char*, int) {
  CallErrors errors;
  return errors.Fail(Cause::kInvalidArgument, 0);
}
