// The public operations: a handle over a Document, with every failure
// turned into a library code and a remembered text.
#include "stanza_file.h"

#include <string>
#include <utility>

#include "document_cache.h"
#include "file_read.h"
#include "stanza_document.h"
#include "stanza_error.h"
#include "text_buffer.h"
#include "sys_file.h"
#include "write_fault.h"

struct StanzaFileState {
  StanzaFileState(std::string path_, bool for_update_, stz::Document document_, bool in_memory_ = false)
      : path(std::move(path_)), for_update(for_update_), document(std::move(document_)), in_memory(in_memory_) {}

  std::string path;
  bool for_update = false;
  stz::Document document;
  std::optional<stz::StanzaId> current_stanza;
  bool changed = false;
  bool in_memory = false;  // opened over a text: never written back
};

StanzaFile::StanzaFile() = default;
StanzaFile::~StanzaFile() = default;

namespace {

std::string syntaxDetail(const stz::SyntaxError& error) {
  return ":" + std::to_string(error.line_number) + ": " + std::string(stz::faultText(error.fault));
}

int failEdit(StanzaFile& file, vd_status_t code, std::string_view detail) {
  const std::string_view path = file.state ? std::string_view(file.state->path) : "stanza file";
  file.error = static_cast<std::int32_t>(stz::rememberFailure(code, path, detail));
  return 0;
}

int succeedEdit(StanzaFile& file) {
  file.error = 0;
  return 1;
}

// The state of a handle that may be edited, or nothing after the failure
// has been recorded in file.error.
StanzaFileState* editableState(StanzaFile& file) {
  if (!file.state) {
    failEdit(file, STZ_E_ARGUMENT, ": handle was not opened");
    return nullptr;
  }
  if (!file.state->for_update) {
    failEdit(file, STZ_E_READ_ONLY, ": opened for reading only");
    return nullptr;
  }
  return file.state.get();
}

void clearCurrentEntry(StanzaFile& file) {
  file.name.reset();
  file.value.reset();
}

}  // namespace

std::unique_ptr<StanzaFile> stzFileOpen(const std::string& path, int mode, vd_status_t& status) {
  if (mode != STZ_MODE_READ && mode != STZ_MODE_UPDATE) {
    status = stz::rememberFailure(STZ_E_ARGUMENT, path, ": invalid open mode " + std::to_string(mode));
    return nullptr;
  }
  std::string why;
  const std::optional<stz::OpenedFile> opened = stz::openRegularFile(path, why);
  std::optional<stz::ReadResult> contents;
  if (opened) contents = stz::runDocuments().documentOf(path, *opened, why);
  if (!contents) {
    status = stz::rememberFailure(STZ_E_OPEN, path, ": cannot open: " + why);
    return nullptr;
  }
  if (const auto* error = std::get_if<stz::SyntaxError>(&*contents)) {
    status = stz::rememberFailure(STZ_E_SYNTAX, path, syntaxDetail(*error));
    return nullptr;
  }
  auto file = std::make_unique<StanzaFile>();
  file->state = std::make_unique<StanzaFileState>(path, mode == STZ_MODE_UPDATE,
                                                  std::move(std::get<stz::Document>(*contents)));
  return file;
}

int stzMoveEntry(StanzaFile& file, std::string_view stanza, std::string_view entry) {
  clearCurrentEntry(file);
  if (!file.state) return 0;
  const stz::Document& document = file.state->document;
  const auto id = document.findStanza(stanza);
  if (!id) return 0;
  auto found = document.findEntry(*id, entry);
  if (!found) return 0;
  file.name = std::move(found->name);
  file.value = std::move(found->value);
  return 1;
}

int stzAddStanza(StanzaFile& file, std::string_view stanza) {
  StanzaFileState* state = editableState(file);
  if (state == nullptr) return 0;
  // A failed add must not leave the previous stanza current, or the next
  // entry would land in the wrong stanza.
  state->current_stanza.reset();
  if (!stz::isWritableStanzaName(stanza)) {
    return failEdit(file, STZ_E_ARGUMENT, ": stanza name " + stz::quoteName(stanza) + " cannot be written");
  }
  state->current_stanza = state->document.findStanza(stanza);
  if (!state->current_stanza) {
    state->current_stanza = state->document.appendStanza(stanza);
    state->changed = true;
  }
  return succeedEdit(file);
}

int stzAddEntry(StanzaFile& file, std::string_view entry, std::optional<std::string_view> value) {
  StanzaFileState* state = editableState(file);
  if (state == nullptr) return 0;
  if (!state->current_stanza) {
    return failEdit(file, STZ_E_NO_STANZA, ": no current stanza for entry " + stz::quoteName(entry));
  }
  if (!stz::isWritableEntryName(entry)) {
    return failEdit(file, STZ_E_ARGUMENT, ": entry name " + stz::quoteName(entry) + " cannot be written");
  }
  if (value && !stz::isWritableValue(*value)) {
    return failEdit(file, STZ_E_ARGUMENT,
                    ": value of entry " + stz::quoteName(entry) + " holds a line break or NUL");
  }
  if (state->document.setEntry(*state->current_stanza, entry, value)) state->changed = true;
  file.name.emplace(entry);
  if (value) {
    file.value.emplace(*value);
  } else {
    file.value.reset();
  }
  return succeedEdit(file);
}

int stzDeleteEntry(StanzaFile& file, std::string_view stanza, std::string_view entry) {
  StanzaFileState* state = editableState(file);
  if (state == nullptr) return 0;
  const auto id = state->document.findStanza(stanza);
  if (!id || !state->document.deleteEntry(*id, entry)) {
    return failEdit(file, STZ_E_NOT_FOUND,
                    ": no entry " + stz::quoteName(entry) + " in stanza " + stz::quoteName(stanza));
  }
  state->changed = true;
  clearCurrentEntry(file);
  return succeedEdit(file);
}

int stzFileClose(std::unique_ptr<StanzaFile> file) {
  if (!file || !file->state) {
    return static_cast<int>(stz::rememberFailure(STZ_E_ARGUMENT, "stanza file", ": handle was not opened"));
  }
  const StanzaFileState& state = *file->state;
  if (!state.for_update || !state.changed || state.in_memory) return 0;
  if (stz::writeFaultRequested(state.path)) {
    return static_cast<int>(stz::rememberFailure(STZ_E_WRITE, state.path, ": cannot write back: injected fault"));
  }
  std::string why;
  if (!sys::replace_file(state.path, state.document.pieces(), why)) {
    // A failed folder sync leaves the new contents in place: whatever the
    // file holds now is read again.
    stz::runDocuments().forget(state.path);
    return static_cast<int>(stz::rememberFailure(STZ_E_WRITE, state.path, ": cannot write back: " + why));
  }
  stz::runDocuments().rememberWritten(state.path, state.document);
  return 0;
}

std::unique_ptr<StanzaFile> stzTextOpen(const std::string& path, std::string_view text, int mode,
                                        vd_status_t& status) {
  if (mode != STZ_MODE_READ && mode != STZ_MODE_UPDATE) {
    status = stz::rememberFailure(STZ_E_ARGUMENT, path, ": invalid open mode " + std::to_string(mode));
    return nullptr;
  }
  std::variant<stz::Document, stz::SyntaxError> contents = stz::Document::parseOwned(stz::TextBuffer(text));
  if (const auto* error = std::get_if<stz::SyntaxError>(&contents)) {
    status = stz::rememberFailure(STZ_E_SYNTAX, path, syntaxDetail(*error));
    return nullptr;
  }
  auto file = std::make_unique<StanzaFile>();
  file->state = std::make_unique<StanzaFileState>(path, mode == STZ_MODE_UPDATE,
                                                  std::move(std::get<stz::Document>(contents)), true);
  return file;
}

std::string stzFileText(const StanzaFile& file) { return file.state ? file.state->document.serialize() : ""; }
