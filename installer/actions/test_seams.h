#pragma once

// Test builds only: the owner of a log file made up as the environment
// asks (Wine keeps no owners).
void apply_test_seams();
