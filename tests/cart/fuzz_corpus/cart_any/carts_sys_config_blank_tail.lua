config volume 77

  	

