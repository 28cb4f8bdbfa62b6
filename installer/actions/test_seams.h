#pragma once

// Test builds only: the owner of an existing watchdog log made up as the
// environment asks (Wine keeps no owners).
void apply_test_seams();
