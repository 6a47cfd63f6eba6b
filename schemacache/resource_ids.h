// Resource ids of Glossar.so, shared by its resource source and its code.
#pragma once

#define IDR_GLOSSAR 100

// Node-type icons.
#define IDI_GOVRIX_ROLE 102
#define IDI_ACTIVE_POLICY 104
#define IDI_GROUP_POLICY_NODE 105
#define IDI_INHERITED_GOVRIX_ROLE 204
#define IDI_INHERITED_BUSINESS_RULE 205
#define IDI_ACCESS_ALLOW 206
#define IDI_ACCESS_DENY 207
#define IDI_INHERITED_ACCESS_ALLOW 208
#define IDI_INHERITED_ACCESS_DENY 209
#define IDI_QUERY 210
#define IDI_INHERITED_ACCESS_DENY_GX 211
#define IDI_INHERITED_ACCESS_ALLOW_GX 212
#define IDI_ACCESS_DENY_GX 213
#define IDI_ACCESS_ALLOW_GX 214
#define IDI_GROUP_POLICY_NODE_INHERITED 215
#define IDI_BUSINESS_VIEW 261
#define IDI_BUSINESS_RULE 442

// State overlays drawn over a class's icon.
#define IDI_BUSY_OVERLAY 110
#define IDI_CONTROLLED_OVERLAY 111
// Stands in for a class icon module's own "Disabled" icon when that cannot be loaded.
#define IDI_DISABLED_OVERLAY 112

// Default icons of classes without an icon of their own.
#define IDI_DEFAULT_LEAF 202
#define IDI_DEFAULT_CONTAINER 203

// The format template of image strips.
#define IDB_STRIP_TEMPLATE 201

#define IDS_SCHEMA_INDEX_CAPTION 1
#define IDS_SCHEMA_INDEX_TEXT 2
