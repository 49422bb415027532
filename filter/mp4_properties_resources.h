// Resource identifiers of the filter's property page, shared by the
// resource script and the code.
#ifndef KELO_FILTER_MP4_PROPERTIES_RESOURCES_H
#define KELO_FILTER_MP4_PROPERTIES_RESOURCES_H

#define IDS_MP4_PROPERTIES_TITLE 100
#define IDD_MP4_PROPERTIES 102
#define IDC_IOD_LENGTH 1001

#endif
