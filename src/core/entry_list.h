#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "big_buffer.h"
#include "display_text.h"
#include "yield.h"

namespace quorvale {

// Column of a list, as the list views number them.
enum class Column : int { kDomaine = 0, kDescription = 1, kRedirection = 2 };

enum class SortDirection : int { kAscending = 0, kDescending = 1 };

// "No row": what a search that finds nothing returns, and the place before the first row.
inline constexpr size_t kNoRow = static_cast<size_t>(-1);

// One list view's rows: a name (the row's text and its key), a description and an address.
// Keys are unique within the list, compared ignoring ASCII case. The rows keep the order in
// which they were added; the display order is kept apart, sorted by the list's sort column
// and direction (byte order of the column's text, ties broken by the name; descending
// reverses the whole order).
//
// A row loaded by an update may carry the flag "listed with www.": one of the lines that gave
// it wrote its name with "www." in front, which the loads take off. The HOSTS writer gives
// such a row its "www." twin line back. The flag stays with the row through sorting and
// removals.
//
// Texts are stored in one arena; the views returned by the accessors stay valid until the
// list is next changed.
class EntryList {
 public:
  EntryList();

  // Adds a row unless a row with the same key is present; returns whether it was added.
  // The description is stored only when it is neither empty nor exactly "#". With
  // `listed_with_www` the row (the new one, or the one already present) carries the flag.
  bool Add(std::string_view name, std::string_view address, std::string_view description,
           bool listed_with_www = false);
  // A big load's two steps for one row: KeyAhead() gives the key's hash and asks the memory
  // system for the key's index slot; AddKeyed() adds the row some rows later, as Add() would
  // (the hash stays good while other rows are added). A big list's index lookups miss the
  // processor's caches: the work done between the two steps (reading the next lines) hides
  // the misses.
  uint32_t KeyAhead(std::string_view name) const;
  bool AddKeyed(std::string_view name, std::string_view address, std::string_view description, bool listed_with_www,
                uint32_t hash);
  bool Contains(std::string_view name) const;
  // Whether the row with this key is present and carries the "listed with www." flag.
  bool ContainsListedWithWww(std::string_view name) const;
  // Makes room for `rows` more rows holding at most `bytes` more bytes of text, so that a big
  // load does not pause to grow its storage. `with_index` sizes the key index too, offering
  // `yield` while it clears it.
  void Reserve(size_t rows, size_t bytes, bool with_index, const YieldFn& yield = {});
  void Clear();
  // Frees the key index, for a caller that will only read the list from now on (its memory
  // then serves the sorts and the writing). The next Add or Contains makes it again.
  void DropIndex();

  // A point to come back to: the rows added after it can be taken away again, and the flags
  // set since on the rows before it cleared, so that a load that fails half-way leaves the
  // list as it found it.
  struct Mark {
    size_t rows;
    size_t details;
    size_t arena;
    size_t text_bytes;
    size_t flags_set;
  };
  Mark MarkNow() const { return {rows_.size(), details_.size(), arena_.size(), text_bytes_, flags_set_.size()}; }
  void RollBack(const Mark& mark);

  // Removes the rows shown at these places of the display order (places past the end and
  // repeated places are ignored) and returns how many rows went. The rows left keep their
  // display order. A removal makes the marks taken before it worthless.
  size_t RemoveRows(std::span<const size_t> display_rows);
  // Removes every row whose name `doomed` returns true for; otherwise as RemoveRows().
  size_t RemoveRowsWhere(const std::function<bool(std::string_view name)>& doomed);

  size_t size() const { return rows_.size(); }
  // Total bytes of all names, descriptions and addresses (each row counted), for writers
  // that size their output before they write it.
  size_t text_bytes() const { return text_bytes_; }
  bool empty() const { return rows_.empty(); }
  // How many rows carry the "listed with www." flag.
  size_t rows_listed_with_www() const { return rows_listed_with_www_; }

  // Row by position in display order (0 = top).
  std::string_view Name(size_t display_row) const { return NameAt(Order()[display_row]); }
  std::string_view Description(size_t display_row) const;
  std::string_view Address(size_t display_row) const;
  bool ListedWithWww(size_t display_row) const { return rows_[Order()[display_row]].listed_with_www != 0; }
  std::string_view Text(size_t display_row, Column column) const;

  // A row's texts, as ForEachRow() gives them.
  struct RowTexts {
    std::string_view name;
    std::string_view description;
    std::string_view address;
    bool listed_with_www;
  };
  // Gives `visit` the rows in display order, from the top, while it returns true; returns
  // false when `visit` stopped it.
  bool ForEachRow(const std::function<bool(const RowTexts&)>& visit) const;

  // The first place of the display order from `begin` up to (not including) `end` whose
  // name or description, as a window shows it (ShownTextContains), contains `text`; kNoRow
  // when there is none.
  size_t FindText(std::string_view text, size_t begin, size_t end, const AnsiToUtf8Fn& ansi_to_utf8) const;

  Column sort_column() const { return sort_column_; }
  SortDirection sort_direction() const { return sort_direction_; }
  // Changes the order in which rows are shown; the rows themselves are untouched.
  void SetSort(Column column, SortDirection direction);

  // The display order: indexes into the rows in insertion order. Sorted on demand; Sort()
  // does it ahead, offering yields while it works.
  const BigVector<uint32_t>& Order() const;
  void Sort(const YieldFn& yield) const;
  // True while Sort() runs; the order must not be read meanwhile (a yield may repaint).
  bool sorting() const { return sorting_; }

 private:
  // A row is its name and the place of its address and description in details_, which the
  // rows without a description share (PlainDetails).
  struct Row {
    uint64_t name_offset : 63;
    uint64_t listed_with_www : 1;
    uint32_t name_length;
    uint32_t details;
  };
  // The flag takes a bit of the name's offset: a row stays 16 bytes.
  static_assert(sizeof(Row) == 16);
  struct Details {
    uint64_t address_offset;
    uint64_t description_offset;
    uint32_t address_length;
    uint32_t description_length;
  };

  std::string_view NameAt(uint32_t row) const {
    return {arena_.data() + rows_[row].name_offset, rows_[row].name_length};
  }
  std::string_view DescriptionAt(uint32_t row) const {
    const Details& details = details_[rows_[row].details];
    return {arena_.data() + details.description_offset, details.description_length};
  }
  std::string_view AddressAt(uint32_t row) const {
    const Details& details = details_[rows_[row].details];
    return {arena_.data() + details.address_offset, details.address_length};
  }
  std::string_view TextAt(uint32_t row, Column column) const;
  uint64_t Store(std::string_view text);
  // The details of rows with `address` and no description, shared with the rows before them
  // while kept at hand (plain_details_), made anew otherwise.
  uint32_t PlainDetails(std::string_view address);
  // Where the text of `address` is, stored once more only when no kept details has it.
  uint64_t AddressOffset(std::string_view address);
  bool OrderIsNameOrder() const {
    return sort_column_ == Column::kDomaine && sort_direction_ == SortDirection::kAscending;
  }
  size_t FindSlot(std::string_view name, uint32_t hash) const;
  void GrowIndex();
  // Makes the index anew from the rows, with `slot_count` slots (0: the size the rows need).
  void RebuildIndex(size_t slot_count) const;
  void SortOrder(const YieldFn& yield) const;
  // One flag per row, in insertion order: whether its shown name or description contains
  // `text`. The texts are read in the order they were stored, which goes straight through
  // the memory; a search then walks the display order over the flags alone.
  std::vector<bool> RowsShowing(std::string_view text, const AnsiToUtf8Fn& ansi_to_utf8) const;
  // Removes the rows whose entry in `renumber` (one per row, in insertion order) marks them
  // gone; the others' entries become their new row numbers. Returns how many went.
  size_t RemoveMarked(BigVector<uint32_t>& renumber);
  const BigVector<uint32_t>& NameOrder(const YieldFn& yield) const;

  BigString arena_;
  BigVector<Row> rows_;
  BigVector<Details> details_;
  std::vector<uint32_t> plain_details_;  // the shared details kept at hand, as indexes into details_
  size_t next_plain_ = 0;                // the one to give way next
  size_t text_bytes_ = 0;
  size_t rows_listed_with_www_ = 0;
  // The rows that got the flag after they were added, in that order, so that RollBack can
  // clear it again. Emptied by a removal, which makes the marks worthless.
  std::vector<uint32_t> flags_set_;
  // Open-addressing hash index: row number + 1 (0 marks a free slot) and the key's hash,
  // kept so that growing the index and most mismatches need no string comparison.
  struct Slot {
    uint32_t row;
    uint32_t hash;
  };
  // Made again on demand after DropIndex(), also by the const lookups.
  mutable BigVector<Slot> slots_;
  Column sort_column_ = Column::kDomaine;
  SortDirection sort_direction_ = SortDirection::kAscending;
  // The display order, unless it is the ascending name order (then name_order_ is shown).
  mutable BigVector<uint32_t> order_;
  mutable size_t sorted_count_ = 0;  // order_ is valid while this equals rows_.size()
  // Rows by name, ascending, and each row's place in it (the tie-break of the other columns).
  mutable BigVector<uint32_t> name_order_;
  mutable BigVector<uint32_t> name_rank_;
  mutable size_t name_sorted_count_ = 0;
  mutable bool sorting_ = false;
};

}  // namespace quorvale
