// Descriptions of every record file: number, label, prefix, the rule that
// builds its physical name, its fields and its keys. The record store uses
// them to encode keys, to check a stored file against the declared layout and
// to clear a record; the command-line tool uses them to print records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quill {

enum class FieldType : uint8_t { Byte, Long, ULong, String, Real, Date };

struct FieldDesc {
    std::string name;      // without prefix: "MSGNUMBER"
    FieldType type;
    uint32_t offset;       // in the record image
    uint32_t elemSize;     // bytes of one element
    uint32_t dim;          // 1, or the number of array elements
};

struct KeyComponent {
    int field;             // index into FileDesc::fields
    bool descending;
};

struct KeyDesc {
    std::string name;      // without prefix: "DATEKEY"
    bool primary = false;
    bool unique = false;
    bool nocase = false;
    bool opt = false;      // records whose components are all blank or zero are left out
    std::vector<KeyComponent> components;
};

enum class NameRule : uint8_t { Config, Database, DatabaseDat, Index, IndexDat, Temporary, User };

// How a file is stored: a keyed record file of the record store, a foreign
// table read by an import, a raw byte file, or a dBase table written by the
// export.
enum class FileKind : uint8_t { Record, Foreign, Bytes, DBase };

struct FileDesc {
    int number = 0;
    std::string label;     // "MsgNmbr"; empty for files that have none
    std::string prefix;    // "MSG"
    NameRule rule = NameRule::User;
    FileKind kind = FileKind::Record;
    uint32_t recordSize = 0;
    uint32_t memoMax = 0;  // 0 = no memo
    std::string memoName;  // "MSGTEXT"
    bool ownerPassword = false;  // stored enciphered (Forums, Control, Neo, Mail, NewHR)
    bool readOnly = false;       // opened read-only by the common open (files 11 and 12)
    uint32_t emptyThreshold = 0; // see thresholdBytes(); 0 = none
    bool alwaysRecreate = false; // a layout mismatch always recreates the file (Search)
    std::vector<FieldDesc> fields;
    std::vector<KeyDesc> keys;

    int fieldIndex(const std::string& name) const;
    int keyIndex(const std::string& name) const;
    // A string that changes whenever the stored layout or the keys change;
    // kept in each stored file so that a file of another layout is detected.
    std::string signature() const;
};

// The description of file number n, or nullptr when n is not a file number.
const FileDesc* fileDesc(int number);
// Every described file, in file number order.
const std::vector<FileDesc>& allFileDescs();

}  // namespace quill
