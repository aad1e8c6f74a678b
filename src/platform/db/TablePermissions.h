#pragma once

namespace engine {

// What one account may do with one table.
struct TablePermissions {
    bool read = false;
    bool update = false;
    bool insert = false;
    bool remove = false;
};

} // namespace engine
