// Object spaces and protected objects.
#include "kx_store.h"

namespace kx {

// Object spaces are independent of the protected objects named beneath
// them: deleting one leaves those objects alone.
Outcome Store::objectspace_create(std::string_view name, int type, opt_str description) {
  undo_begin_op();
  undo_note_made("objectspace", {name});
  return insert_new("INSERT INTO objectspace(name, type, description) VALUES(?, ?, ?) ON CONFLICT DO NOTHING",
                    {name, std::int64_t{type}, description}, "object space", name);
}

Outcome Store::objectspace_delete(std::string_view name) {
  if (Outcome r = must_exist("objectspace", "object space", name, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("objectspace", {name}); !r.ok()) return r;
  return run("DELETE FROM objectspace WHERE name = ?", {name});
}

Outcome Store::objectspace_names(std::vector<std::string>& names) {
  return names_of("SELECT name FROM objectspace ORDER BY name", names);
}

Outcome Store::protobj_create(std::string_view name, int type, opt_str description) {
  undo_begin_op();
  undo_note_made("protobj", {name});
  return insert_new("INSERT INTO protobj(name, type, description) VALUES(?, ?, ?) ON CONFLICT DO NOTHING",
                    {name, std::int64_t{type}, description}, "protected object", name);
}

Outcome Store::protobj_delete(std::string_view name) {
  if (Outcome r = must_exist("protobj", "protected object", name, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("protobj", {name}); !r.ok()) return r;
  return run("DELETE FROM protobj WHERE name = ?", {name});
}

// Attaching replaces an ACL already attached, as an object has at most one.
Outcome Store::protobj_attach_acl(std::string_view object, std::string_view acl) {
  if (Outcome r = must_exist("protobj", "protected object", object, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_REFERENCE_MISSING); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("protobj", {object}); !r.ok()) return r;
  return run("UPDATE protobj SET acl = ? WHERE name = ?", {acl, object});
}

Outcome Store::protobj_detach_acl(std::string_view object) {
  if (Outcome r = must_exist("protobj", "protected object", object, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("protobj", {object}); !r.ok()) return r;
  if (Outcome r = run("UPDATE protobj SET acl = NULL WHERE name = ? AND acl IS NOT NULL", {object}); !r.ok()) return r;
  if (changes() == 0) {
    return failure(CODE_NOT_PRESENT, "protected object \"" + std::string(object) + "\" has no ACL attached");
  }
  return success();
}

Outcome Store::protobj_names(std::vector<std::string>& names) {
  return names_of("SELECT name FROM protobj ORDER BY name", names);
}

}  // namespace kx
