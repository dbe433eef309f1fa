// dBASE III tables (".dbf") read and written byte by byte through numbered
// files, with the file-system helpers that go with them. Texts are UTF-8 in
// the program and Windows-1252 in the file. Nothing here raises: every
// operation reports through its result.
#pragma once

#include "main/files/detail/binary_file.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform { class Dialogs; }
namespace platform::vb { struct Date; }

namespace files {

namespace detail { struct Table; }

class DBase {
public:
    // Where the date bytes come from (the computer's date by default).
    using Today = std::function<platform::vb::Date()>;
    explicit DBase(platform::Dialogs& dialogs, Today today = {});
    // Writes what the open tables hold back, closing them.
    ~DBase();
    DBase(const DBase&) = delete;
    DBase& operator=(const DBase&) = delete;

    // File number of the table, created empty when missing, read-only when
    // writing is refused; -1 when it cannot be opened.
    std::int16_t DBF_Open(const std::string& fileName);
    // Records added and filled are held back and written in large pieces:
    // before any other operation on the table, when much is held, at the
    // latest by DBF_Close. DBF_Flush writes them now: false when a write of
    // the table failed since it was opened (DBF_Close reports nothing).
    bool DBF_Flush(std::int16_t file);
    bool DBF_Close(std::int16_t file);
    // The system error number of the first write to the open table that
    // failed (a full disk, a file-size limit, an I/O error); 0 when none did.
    int DBF_WriteError(std::int16_t file);
    // A new table without records from "name,type,width[,decimals]" texts,
    // left open; -1 on failure.
    std::int16_t DBF_Create(const std::string& fileName, const std::vector<std::string>& specs);
    // True when the table may be written (asks the user above version 3).
    bool DBF_CheckVersion(std::int16_t file);
    // -1 on a read failure, a header that runs past the file's end included.
    std::int32_t DBF_GetRecordCount(std::int16_t file);
    // "name,type,width,decimals" per field (the first is field 1); nothing on
    // a read failure.
    std::optional<std::vector<std::string>> DBF_GetFields(std::int16_t file);
    bool DBF_AddFields(std::int16_t file, const std::string& spec);
    // The number of the new blank record; -1 on failure.
    std::int32_t DBF_AddRecord(std::int16_t file);
    using Records = std::vector<std::vector<std::string>>;
    // The raw field texts of record recno, or of every record not flagged
    // deleted when recno <= 0; nothing on a read failure.
    std::optional<Records> DBF_GetRecords(std::int16_t file, std::int32_t recno);
    // The same records one at a time, as the Windows-1252 bytes of their
    // fields (filling spaces included), valid during the call; `each`
    // returns false to stop. False on a read failure.
    bool DBF_ReadRecords(std::int16_t file, const std::function<bool(const std::vector<std::string_view>&)>& each);
    // Writes value into every field of that name of the record; false when
    // none matched, the value is no number for an N field or does not fit.
    bool DBF_PutRecord(std::int16_t file, const std::string& fieldName, std::int32_t recno,
                       const std::string& value);
    // Field writers at the file's current position; false when the value
    // does not fit its width (the field is then filled with "*").
    bool Field_PutText(std::int16_t file, const std::string& text, int width, std::uint8_t fill);
    bool Field_PutInteger(std::int16_t file, std::int32_t value, int width);
    bool Field_PutDecimal(std::int16_t file, double value, int width, int decimals);

    static std::array<std::uint8_t, 4> Long_ToBytes(std::uint32_t value);
    static std::uint32_t Bytes_ToLong(const std::array<std::uint8_t, 4>& bytes);
    static bool File_Delete(const std::string& fileName);
    // The TEMP folder, ending in "/".
    std::string TempFolder_Get();
    bool Folder_Exists(const std::string& path);
    // The 100-byte header of an empty shapefile of kind "POINT", "LINE" or
    // "POLYGON"; true once written.
    bool Shapefile_WriteEmptyHeader(const std::string& fileName, const std::string& kind);

private:
    detail::BinaryFile* file_of(std::int16_t file);
    // The table's header and descriptors as last read; read again after
    // anything that may have changed them. Null on a read failure.
    std::shared_ptr<detail::Table> table_of(std::int16_t file);
    bool ask_to_write();
    bool writable_table(const detail::BinaryFile& f, std::uint8_t version);
    bool put_field(std::int16_t file, const std::string& bytes, bool fits);
    // The held-back writes of a table: the bytes from `at` on (records added
    // and the end-of-file byte) and the header's date and record count.
    struct Pending {
        std::int64_t at = -1;
        std::string tail;
        bool header = false;
        bool failed = false; // a write of the table failed
    };
    Pending* pending_of(std::int16_t file);
    std::int16_t add_file(detail::BinaryFile f);
    std::array<std::uint8_t, 3> date_bytes(bool& ok) const;

    platform::Dialogs& dialogs_;
    Today today_;
    std::map<std::int16_t, detail::BinaryFile> files_;
    std::map<std::int16_t, std::shared_ptr<detail::Table>> tables_;
    std::map<std::int16_t, Pending> pending_;
};

} // namespace files
