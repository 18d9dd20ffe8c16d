#pragma once

// Resources of the win32 layer's tests.
#define IDD_TEST_DIALOG 100
