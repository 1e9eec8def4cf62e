// Reading and releasing responses.  Absent responses read as empty.
#include "kxadmin_call.h"

void kxadmin_response_deleter::operator()(kxadmin_response* r) const { delete r; }

unsigned kxadmin_response_getcount(const kxadmin_response* rsp) {
  return rsp == nullptr ? 0 : static_cast<unsigned>(rsp->entries.size());
}

namespace {

const kxadmin_response::Entry* entry_at(const kxadmin_response* rsp, unsigned index) {
  if (rsp == nullptr || index >= rsp->entries.size()) return nullptr;
  return &rsp->entries[index];
}

}  // namespace

std::uint32_t kxadmin_response_getcode(const kxadmin_response* rsp, unsigned index) {
  const kxadmin_response::Entry* entry = entry_at(rsp, index);
  return entry == nullptr ? 0 : entry->code;
}

std::uint32_t kxadmin_response_getmodifier(const kxadmin_response* rsp, unsigned index) {
  const kxadmin_response::Entry* entry = entry_at(rsp, index);
  return entry == nullptr ? 0 : entry->modifier;
}

std::string kxadmin_response_getmessage(const kxadmin_response* rsp, unsigned index) {
  const kxadmin_response::Entry* entry = entry_at(rsp, index);
  return entry == nullptr ? std::string() : entry->message;
}

int kxadmin_response_getreason(const kxadmin_response* rsp) { return rsp == nullptr ? 0 : rsp->reason; }

void kxadmin_free(kxadmin_response_t& rsp) { rsp.reset(); }
