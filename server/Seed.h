#pragma once

#include "server/Db.h"

#include <QDate>

#include <cstdint>
#include <functional>
#include <string>

namespace zel::server {

struct SeedOptions {
    int branches = 3;
    int orders = 300;                   // in all, spread evenly over the branches
    std::uint64_t seed = 1;             // same seed and date, same data
    QDate today = QDate::currentDate(); // orders fall on the days up to this one
    int inconsistentPct = 30;           // share of the orders with inconsistencies
};

struct SeedStats {
    long orders = 0, items = 0, inconsistencies = 0, released = 0;
};

// Fills an initialised, empty database with demo data (see server/README.md):
// branches, customers, sellers, products, kinds of inconsistency, orders with
// items, inconsistencies on a share of them, and the demo operators with their
// release groups. Raises std::invalid_argument when the database already
// holds branches.
SeedStats Seed(DbConn& c, const SeedOptions& options, const std::function<void(const std::string&)>& progress = {});

} // namespace zel::server
