// Describing the agent's file slots to the programs it starts.
#pragma once

#include <cstdint>

// Fills the handle slot table at start-up: slots described by the block in
// the agent's own start-up information, then the three standard slots.
void FillHandleSlots();

// The handle-inheritance block for the current slot table (heap, released
// with nt::HeapFree) and its length; nullptr when it cannot be taken.
std::uint8_t* BuildInheritanceBlock(std::uint16_t* length);
