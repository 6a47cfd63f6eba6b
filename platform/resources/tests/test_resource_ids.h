#pragma once
#define IDS_NAMED 42
#define IDM_STATES 202
#define IDD_EVERYTHING 201
