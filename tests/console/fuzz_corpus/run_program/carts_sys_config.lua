config volume 100
