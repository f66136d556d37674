#pragma once

#include <span>
#include <string>
#include <vector>

#include "records/SpooledRecord.h"

namespace zul::records {

// Where zul10-records forward delivers the spool's records: a records folder
// (FolderDestination) or a database (DatabaseDestination, in zul10-records
// only). The spool keeps, for each
// destination by its Key(), how much of each of its files was delivered.
class Destination {
public:
    virtual ~Destination() = default;

    // The destination in words, for the operator and the log ("the records
    // folder /srv/records").
    virtual std::string Name() const = 0;
    // What the spool's bookkeeping knows it by: the same for the same
    // destination from one call to the next, one line of text.
    virtual std::string Key() const = 0;

    // Stores records (in the spool's order) so that each run id is there
    // once: a record whose run id the destination already holds is left out.
    // Returns true only once every record is durably stored (synced); false,
    // with the reason in error, when the destination cannot be reached or
    // refuses, and then none of them is taken as delivered.
    virtual bool Deliver(std::span<const SpooledRecord> records, std::string& error) = 0;

    // The records the last Deliver that returned true left out as none it
    // can store (each one line, "the record of run ID ..."), then forgets
    // them. Such a record is taken as delivered: it would be refused each
    // time, and must not hold up the records behind it.
    virtual std::vector<std::string> TakeLeftOut() { return {}; }
};

}  // namespace zul::records
