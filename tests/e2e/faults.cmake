# Faults on disk, hostile settings files and odd program folders: the
# program must go on running, keep every shot and setting that was there,
# leave no truncated shot or set.ini.new, and work again once the fault is
# cleared. They hold keys for shots, so they run alone like the capture
# scenarios. fault_disk_full mounts a tmpfs and exits with 77 (skipped) where
# mounting is not allowed.
snapwick_e2e(fault_pic_folder.py "e2e;faults" 180 RUN_SERIAL TRUE)
snapwick_e2e(fault_settings_file.py "e2e;faults" 180 RUN_SERIAL TRUE)
snapwick_e2e(fault_settings_save.py "e2e;faults" 180 RUN_SERIAL TRUE)
snapwick_e2e(fault_disk_full.py "e2e;faults" 180 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
snapwick_e2e(folder_drive_root.py "e2e;faults" 150 RUN_SERIAL TRUE)
snapwick_e2e(folder_cyrillic_settings.py "e2e;faults" 180 RUN_SERIAL TRUE)
snapwick_e2e(folder_long_path.py "e2e;faults" 150 RUN_SERIAL TRUE)
# Killed ten times in the middle of 4K shots: no truncated shot, ever.
snapwick_e2e(crash_mid_burst.py "e2e;faults" 420 RUN_SERIAL TRUE)
