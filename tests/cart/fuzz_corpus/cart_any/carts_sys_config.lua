config volume 100
