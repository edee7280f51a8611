// The page-replica database: the names that the offline serving of corvex,
// the crawler of corvjobs, the favourite dialogs and favload share. Each web
// element (page, image, frame, stored form result, favourite not yet fetched)
// is one document of the form below, found through the key view by its URL
// without "http://".
#pragma once

namespace common {

// Where favourites are stored unless a favourite's Repository names another.
inline constexpr char kPageReplicaServer[] = "Local";
inline constexpr char kPageReplicaPath[] = "Replicas.Web/kvwebrs.ldf";
inline constexpr char kPageReplicaTitle[] = "My Web Page Replicas";
inline constexpr char kPageReplicaTemplate[] = "KVREPL.LTF";
// The repository text of the default database: "title{server;path}".
inline constexpr char kDefaultRepository[] = "My Selections{Local;Replicas.Web/kvwebrs.ldf}";

inline constexpr char kElementForm[] = "Web Element Replica";
inline constexpr char kKeyView[] = "Web Element Replicas by Key";  // sorted by KeyURLC
inline constexpr char kCategoryView[] = "by Category";

// Items of an element document (all text unless named otherwise).
inline constexpr char kItemKey[] = "KeyURLC";
inline constexpr char kItemTitle[] = "Title";
inline constexpr char kItemUserTitle[] = "UserTitle";
inline constexpr char kItemCategories[] = "Categories";
inline constexpr char kItemSupports[] = "Supports";
inline constexpr char kItemRefList[] = "RefList";
inline constexpr char kItemReturnCode[] = "ReturnCode";
inline constexpr char kItemContentType[] = "ContentType";
inline constexpr char kItemContentLength[] = "ContentLength";
inline constexpr char kItemLastModified[] = "LastModified";
inline constexpr char kItemLastModifiedDt[] = "LastModified_DT";
inline constexpr char kItemDateDownloaded[] = "DateDownloaded";
inline constexpr char kItemTimeStamp[] = "TimeStamp";    // date-time: run start
inline constexpr char kItemTimeStamp2[] = "TimeStamp2";  // date-time: pass start
// The stored HTTP response: status line, headers, blank line, body, with
// absolute links rewritten to replica URLs.
inline constexpr char kStoredResponse[] = "content.dat";
// The marker that stored links carry in place of the replica context; the
// offline serving puts the current page-replica database there.
inline constexpr char kContextMarker[] = "$WCTX_CorvjobsicaContext";

}  // namespace common
