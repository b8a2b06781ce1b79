INSERT INTO contact VALUES(1,'','Anna  Weber');
INSERT INTO data VALUES(1,1,1,'','Anna Weber','Anna ','Weber ','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,10,1,'','Acme ','','','','Sales ; Lab 3 ','','','','','','','','','',NULL);
INSERT INTO data VALUES(3,12,1,'',replace('Hauptstr. 1 \nBerlin , Berlin  10115 \nGermany','\n',char(10)),'2','','Hauptstr. 1 ','','','Berlin ','Berlin ','10115 ','Germany ','','','','',NULL);
INSERT INTO data VALUES(4,12,1,'',replace('Rue 2\nParis \nFrance','\n',char(10)),'1','','Rue 2','','','Paris ','','','France','','','','',NULL);
