#ifndef VORLIX_TEXTS_H
#define VORLIX_TEXTS_H

class QTranslator;

// Every text the user sees, looked up in the user's language. The English
// originals, with notes for translators, are in texts.cpp.
enum class Text {
    usage,
    no_display,
    display_failed,
    platform_plugin_failed,
    unknown_fs_notice,
    info_button,
    fm_button,
    reformat_button,
    copy_button,
    unmount_button,
    close_refused,
    exfat_button,
    ufs2_button,
    ext4_button,
    no_fs_info,
    fs_info,
    unmount_failed_for,
    unmount_failed,
    exec_failed,
    no_home,
    empty_config,
    fm_error,
    no_marker_dir,
    no_parent_device,
    failed_to_unmount,
    terminal_exec_failed,
    copy_complete,
    copy_failed,
    format_complete,
    format_failed,
    exited_with_status,
    killed_by_signal,
    input_on_target_disk,
    no_terminal_display,
    window_name,
    not_responding,
    still_waiting,
    keep_waiting_button,
    stop_button,
    stopped_by_user,
    held_mounted_on,
    held_other_namespace,
    held_by_program,
    held_by_device,
    held_by_geom,
    held_through_node,
    held_by_system,
    unwritable_disk,
    disk_changed,
    fuse_device_unknown,
    unmount_needs_owner,
    holders_hidden,
    holders_not_listed,
    count
};

// The translation context of these texts.
extern const char texts_context[];

// The text in the user's language, or in English. It only reads what
// translate_texts() kept and never asks the toolkit, so a forked child may
// use it too.
const char *tx(Text id);

// The English original.
const char *english_text(Text id);

// In the main process, once the translators are installed and before any
// child is made: looks every text up through the toolkit and keeps the
// answers. A translation whose printf conversions differ from the English
// ones is not kept: handed to snprintf, it would read arguments that are
// not there.
void translate_texts();

// The same before the toolkit is up (when it failed to start, say): every
// text looked up in translator alone.
void translate_texts(const QTranslator &translator);

#endif
