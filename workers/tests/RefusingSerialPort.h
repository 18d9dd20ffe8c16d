#pragma once

// The stand-in port's reason for refusing timeouts; its error text adds a line end, as the
// system's texts have.
inline constexpr const char* kRefusedTimeoutsText = "The driver does not support these timeouts.";
