target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/analytics_identifiers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/batch_endpoint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/batch_serializer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bootstrapper_event.cpp
    ${CMAKE_CURRENT_LIST_DIR}/configuration_provider.cpp
    ${CMAKE_CURRENT_LIST_DIR}/environment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/event_catalog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/event_timestamp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_context.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installation_outbox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/outbox_damage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posthog_metrics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posthog_outbox_store.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posthog_sender.cpp
    ${CMAKE_CURRENT_LIST_DIR}/utf8.cpp
    ${CMAKE_CURRENT_LIST_DIR}/web_attribution.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fixed_decimal.cpp)

# The analytics ingestion host is deployment data fixed at build time; test builds point it at loopback.
set(ARDENWICK_ANALYTICS_HOST "https://eu.i.posthog.com" CACHE STRING "PostHog ingestion base URL")
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/configuration_provider.cpp APPEND PROPERTY
    COMPILE_DEFINITIONS "ARDENWICK_ANALYTICS_HOST=\"${ARDENWICK_ANALYTICS_HOST}\"")
if(WIN32)
    target_sources(ardenwick_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/wal_index_backing.cpp)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/analytics_identity.cpp
        ${CMAKE_CURRENT_LIST_DIR}/batch_transport.cpp
        ${CMAKE_CURRENT_LIST_DIR}/system_info.cpp
        ${CMAKE_CURRENT_LIST_DIR}/web_attribution_file.cpp
        ${CMAKE_CURRENT_LIST_DIR}/windows_metrics_platform.cpp)
endif()
