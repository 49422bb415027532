// Resource identifiers of the filter's property pages, shared by the
// resource script and the code.
#ifndef KELO_FILTER_MP4_PROPERTIES_RESOURCES_H
#define KELO_FILTER_MP4_PROPERTIES_RESOURCES_H

#define IDS_MP4_PROPERTIES_TITLE 100
#define IDD_MP4_PROPERTIES 102
#define IDC_IOD_LENGTH 1001

#define IDS_STREAMS_TITLE 101
#define IDD_STREAMS 103
#define IDC_STREAMS_BRAND 1002
#define IDC_STREAMS_DURATION 1003
#define IDC_STREAMS_LIST 1004

#endif
